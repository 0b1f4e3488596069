<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="imports-base.xsl"/>
  <xsl:template match="order">
    <bottom id="{@id}">
      <xsl:apply-templates select="line"/>
      <xsl:apply-templates select="key('customer', @customer)"
                           mode="brief"/>
    </bottom>
  </xsl:template>
  <xsl:template match="line">
    <line sku="{@sku}"><xsl:apply-imports/></line>
  </xsl:template>
</xsl:stylesheet>
