<?xml version="1.0"?>
<!-- Imported: lower precedence than the principal stylesheet's definitions. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:attribute-set name="base">
    <xsl:attribute name="source">defaults</xsl:attribute>
    <xsl:attribute name="layer">bottom</xsl:attribute>
  </xsl:attribute-set>
  <xsl:attribute-set name="colour">
    <xsl:attribute name="colour"><xsl:value-of select="@colour"/></xsl:attribute>
  </xsl:attribute-set>
</xsl:stylesheet>
