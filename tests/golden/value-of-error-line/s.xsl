<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="/">
    <out>
      <xsl:value-of select="count(//item)"/>
      <xsl:value-of
          select="$missing"/>
    </out>
  </xsl:template>
</xsl:stylesheet>
