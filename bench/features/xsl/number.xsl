<?xml version="1.0"?>
<!-- xsl:number at every level: chapters in roman numerals, sections numbered as
     1.2.a, paragraphs counted through the whole book and within each chapter, figures
     with letters, zero padding and grouping. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" indent="no"/>
  <xsl:template match="/book">
    <toc><xsl:apply-templates/></toc>
  </xsl:template>
  <xsl:template match="chapter">
    <ch n="{position()}">
      <xsl:attribute name="roman"><xsl:number format="I"/></xsl:attribute>
      <xsl:attribute name="padded"><xsl:number format="001"/></xsl:attribute>
      <xsl:apply-templates/>
    </ch>
  </xsl:template>
  <xsl:template match="section">
    <sec>
      <xsl:attribute name="n">
        <xsl:number level="multiple" count="chapter|section" format="1.1.a"/>
      </xsl:attribute>
      <xsl:attribute name="s"><xsl:number format="a) "/></xsl:attribute>
      <xsl:apply-templates/>
    </sec>
  </xsl:template>
  <xsl:template match="title">
    <t><xsl:number level="multiple" count="section" format="i-1"/>: <xsl:value-of select="."/></t>
  </xsl:template>
  <xsl:template match="para">
    <p>
      <xsl:attribute name="all">
        <xsl:number level="any" grouping-separator="," grouping-size="3"/>
      </xsl:attribute>
      <xsl:attribute name="in-ch">
        <xsl:number level="any" from="chapter" format="[1]"/>
      </xsl:attribute>
      <xsl:attribute name="here"><xsl:number/></xsl:attribute>
    </p>
  </xsl:template>
  <xsl:template match="figure">
    <fig><xsl:number level="any" count="figure" format="A"/>
      <xsl:text> / </xsl:text>
      <xsl:number level="any" count="figure" from="chapter" format="a"/>
      <xsl:text> / </xsl:text>
      <xsl:number value="count(preceding::para) * 3 + 7" format="1"/>
    </fig>
  </xsl:template>
</xsl:stylesheet>
