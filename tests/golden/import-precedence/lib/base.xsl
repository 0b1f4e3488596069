<?xml version="1.0"?>
<!-- Lowest precedence. A title has no template here: apply-imports falls back to the
     built-in rules, which write its text. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:variable name="who">base</xsl:variable>
  <xsl:template match="para[@kind]">
    <base-para kind="{@kind}"><xsl:value-of select="."/></base-para>
  </xsl:template>
  <xsl:template match="para">
    <base-para><xsl:value-of select="."/></base-para>
  </xsl:template>
</xsl:stylesheet>
