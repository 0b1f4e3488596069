<!-- One run writes its result and four documents: relative hrefs resolve against the
     result's folder, a document inside another against that one, each with its own
     output attributes (templates), folders made as needed. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:exsl="http://exslt.org/common" extension-element-prefixes="exsl">
  <xsl:output method="html"/>
  <xsl:template match="/">
    <html><body>
      <xsl:for-each select="book/chapter">
        <p><a href="ch{position()}.xml"><xsl:value-of select="@title"/></a></p>
        <exsl:document href="ch{position()}.xml" indent="yes" omit-xml-declaration="yes">
          <chapter n="{position()}"><title><xsl:value-of select="@title"/></title></chapter>
        </exsl:document>
      </xsl:for-each>
      <exsl:document href="notes/all.txt" method="{'text'}">
        <xsl:for-each select="book/chapter">
          <xsl:value-of select="concat(@title, '&#10;')"/>
        </xsl:for-each>
        <exsl:document href="index.html" method="html"
            doctype-public="-//W3C//DTD HTML 4.01//EN"><html><p>index</p></html></exsl:document>
      </exsl:document>
    </body></html>
  </xsl:template>
</xsl:stylesheet>
