<?xml version="1.0" encoding="UTF-8"?>
<!-- Turns the book catalogue into an HTML table with a total. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html"/>

  <xsl:template match="/">
    <html>
      <head><title>Catalogue</title></head>
      <body>
        <h1>Catalogue: <xsl:value-of select="count(catalog/book)"/> books</h1>
        <table>
          <tr><th>Title</th><th>Author</th><th>Year</th><th>Price</th></tr>
          <xsl:apply-templates select="catalog/book"/>
        </table>
        <p>Total: <xsl:value-of select="sum(catalog/book/price)"/></p>
      </body>
    </html>
  </xsl:template>

  <xsl:template match="book">
    <tr id="{@id}">
      <td><xsl:value-of select="title"/></td>
      <td><xsl:value-of select="author"/></td>
      <td><xsl:value-of select="@year"/></td>
      <td><xsl:value-of select="price"/></td>
    </tr>
  </xsl:template>
</xsl:stylesheet>
