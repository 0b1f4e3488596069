<?xml version="1.0"?>
<!-- Imported by the principal stylesheet; imports base.xsl from its own folder. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:import href="base.xsl"/>
  <xsl:output method="xml" omit-xml-declaration="yes" indent="yes"/>
  <xsl:variable name="who">library</xsl:variable>
  <xsl:variable name="greeting">hello from the library</xsl:variable>

  <xsl:template match="para" priority="10">
    <library-para><xsl:apply-imports/></library-para>
  </xsl:template>

  <xsl:template match="item" mode="list">
    <library-item><xsl:value-of select="."/></library-item>
  </xsl:template>
</xsl:stylesheet>
