<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="/">
    <xsl:choose>
      <xsl:when test="*">root has an element</xsl:when>
      <xsl:when>never compiled</xsl:when>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
