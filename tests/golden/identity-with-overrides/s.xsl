<?xml version="1.0"?>
<!-- The identity transformation with overrides: the union pattern @*|node() stands at
     priority -0.5 for each alternative, so every template naming an element, an
     attribute or a path wins over it. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="@*|node()">
    <xsl:copy><xsl:apply-templates select="@*|node()"/></xsl:copy>
  </xsl:template>
  <xsl:template match="b"><B/></xsl:template>
  <xsl:template match="@secret"/>
  <xsl:template match="list/item | para/text()">
    <xsl:copy><xsl:value-of select="translate(., 'abcdefghijklmnopqrstuvwxyz', 'ABCDEFGHIJKLMNOPQRSTUVWXYZ')"/></xsl:copy>
  </xsl:template>
  <xsl:template match="comment()" priority="1"><xsl:comment>kept</xsl:comment></xsl:template>
</xsl:stylesheet>
