<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:import href="imports-3.xsl"/>
  <xsl:template match="order">
    <middle cat="{@cat}"><xsl:apply-imports/></middle>
  </xsl:template>
  <xsl:template match="line">
    <item><xsl:apply-imports/></item>
  </xsl:template>
  <xsl:template match="customer" mode="brief">
    <xsl:value-of select="@city"/>
    <xsl:text>: </xsl:text>
    <xsl:apply-imports/>
  </xsl:template>
</xsl:stylesheet>
