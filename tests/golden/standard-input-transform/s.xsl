<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:param name="title" select="'Untitled'"/>
  <xsl:param name="limit" select="10"/>
  <xsl:param name="unused">kept</xsl:param>
  <xsl:variable name="note" select="'variable'"/>
  <xsl:template match="/">
    <xsl:value-of select="$title"/>
    <xsl:text>&#10;</xsl:text>
    <xsl:for-each select="list/item[position() &lt;= $limit]">
      <xsl:value-of select="."/>
      <xsl:text>&#10;</xsl:text>
    </xsl:for-each>
    <xsl:value-of select="concat($unused, ' ', $note)"/>
    <xsl:text>&#10;</xsl:text>
  </xsl:template>
</xsl:stylesheet>
