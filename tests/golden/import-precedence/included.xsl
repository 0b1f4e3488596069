<?xml version="1.0"?>
<!-- Included: part of the principal stylesheet, so its templates outrank the library's
     and apply-imports inside them reaches the library too. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="list">
    <list>
      <xsl:apply-templates mode="list"/>
    </list>
  </xsl:template>
  <xsl:template match="title">
    <heading><xsl:apply-imports/></heading>
  </xsl:template>
</xsl:stylesheet>
