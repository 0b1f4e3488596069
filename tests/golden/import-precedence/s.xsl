<?xml version="1.0"?>
<!-- The principal stylesheet: highest precedence. It imports a library from a folder
     (which imports its own base from that folder) and includes a file at its own
     precedence. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:import href="lib/library.xsl"/>
  <xsl:include href="included.xsl"/>
  <xsl:output indent="no"/>
  <xsl:variable name="who">principal</xsl:variable>

  <xsl:template match="/">
    <out who="{$who}" greeting="{$greeting}">
      <xsl:apply-templates select="doc/*"/>
    </out>
  </xsl:template>

  <!-- Wins over the library's para template although that one has a higher priority,
       then hands the node on to it. -->
  <xsl:template match="para">
    <wrapped>
      <xsl:apply-imports/>
    </wrapped>
  </xsl:template>

  <xsl:template match="item" mode="list">
    <principal-item>
      <xsl:apply-imports/>
    </principal-item>
  </xsl:template>
</xsl:stylesheet>
