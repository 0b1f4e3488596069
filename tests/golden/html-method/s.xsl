<?xml version="1.0"?>
<!-- The HTML output method: the Content-Type meta first in head, boolean attributes
     minimized, non-ASCII characters of URI attributes %-escaped, quotes in text and "&{"
     in attribute values kept, script text unescaped, newlines where xsltproc puts them. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8"/>
  <xsl:template match="/page">
    <html>
      <head>
        <title><xsl:value-of select="@title"/></title>
        <script>if (a &lt; b &amp;&amp; c) { go("x"); }</script>
      </head>
      <body onload="&amp;{{init}}">
        <h1><xsl:value-of select="@title"/></h1>
        <form action="order.cgi">
          <xsl:for-each select="item">
            <p>
              <input type="checkbox" name="i{position()}">
                <xsl:if test="@checked = 'yes'">
                  <xsl:attribute name="checked">checked</xsl:attribute>
                </xsl:if>
              </input>
              <a href="{@href}"><xsl:value-of select="."/></a>
            </p>
          </xsl:for-each>
          <br/>
          <select><option selected="selected">one</option><option>two</option></select>
        </form>
      </body>
    </html>
  </xsl:template>
</xsl:stylesheet>
