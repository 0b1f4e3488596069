<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:template match="/">
  <out>before</out>
  <xsl:variable name="v" select="1"/>
  <xsl:variable name="v" select="2"/>
</xsl:template>
</xsl:stylesheet>
