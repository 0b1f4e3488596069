<?xml version="1.0"?>
<!-- Numbers chapters, sections at any depth, appendices and figures. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>

  <xsl:template match="chapter|section">
    <xsl:number level="multiple" count="chapter|section" format="1.1 "/>
    <xsl:value-of select="@title"/>
    <xsl:text>&#10;</xsl:text>
    <xsl:apply-templates/>
  </xsl:template>

  <xsl:template match="appendix|appendix//section" priority="1">
    <xsl:number level="multiple" count="appendix|section" format="A.1 "/>
    <xsl:value-of select="@title"/>
    <xsl:text>&#10;</xsl:text>
    <xsl:apply-templates/>
  </xsl:template>

  <xsl:template match="figure">
    <xsl:text>  Figure </xsl:text>
    <xsl:number level="any" from="chapter" format="i"/>
    <xsl:text> of chapter </xsl:text>
    <xsl:number count="chapter" format="A"/>
    <xsl:text>, </xsl:text>
    <xsl:number level="any" format="001"/>
    <xsl:text> in the book&#10;</xsl:text>
  </xsl:template>

  <xsl:template match="text()"/>

  <xsl:template match="/">
    <xsl:apply-templates/>
    <xsl:number value="12345.6" grouping-separator="," grouping-size="3" format="[1]"/>
    <xsl:text>&#10;</xsl:text>
  </xsl:template>
</xsl:stylesheet>
