<?xml version="1.0" encoding="UTF-8"?>
<!-- Turns the book catalogue into an HTML table with a total.
     Run: ovra catalog.xsl catalog.xml catalog.html
     The parameter "title" names the page; set it with the stringparam option. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html"/>

  <!-- The page title; the command line may give another. -->
  <xsl:param name="title" select="'Catalogue'"/>

  <xsl:template match="/">
    <html>
      <head><title><xsl:value-of select="$title"/></title></head>
      <body>
        <h1><xsl:value-of select="$title"/>: <xsl:value-of select="count(catalog/book)"/> books</h1>
        <table>
          <tr><th>Title</th><th>Authors</th><th>Year</th><th>Price</th></tr>
          <xsl:apply-templates select="catalog/book"/>
        </table>
        <p>Total: <xsl:value-of select="sum(catalog/book/price)"/></p>
      </body>
    </html>
  </xsl:template>

  <xsl:template match="book">
    <tr id="{@id}">
      <td><xsl:value-of select="title"/></td>
      <td>
        <xsl:for-each select="author">
          <xsl:if test="position() &gt; 1">, </xsl:if>
          <xsl:value-of select="."/>
        </xsl:for-each>
      </td>
      <td><xsl:value-of select="@year"/></td>
      <td><xsl:value-of select="price"/></td>
    </tr>
  </xsl:template>
</xsl:stylesheet>
