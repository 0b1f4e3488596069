<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:key name="customer" match="customer" use="@id"/>
  <xsl:template match="/shop">
    <chain><xsl:apply-templates select="orders/order"/></chain>
  </xsl:template>
  <xsl:template match="customer" mode="brief">
    <xsl:value-of select="name"/>
  </xsl:template>
  <xsl:template match="line[@qty &gt; 20]" priority="2">
    <xsl:value-of select="@qty"/>
  </xsl:template>
</xsl:stylesheet>
