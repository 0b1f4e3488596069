<?xml version="1.0" encoding="UTF-8"?>
<!-- Prints a numbered, indented outline of nested sections. The template for a section
     applies itself to the subsections, passing down the number so far and the indent:
     the recursion follows the depth of the document.
     Run: ovra outline.xsl outline.xml
     The parameter "depth" limits how many levels are shown (an XPath number, so set it
     with the param option); 0 shows all. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>

  <xsl:param name="depth" select="0"/>

  <xsl:template match="/document">
    <xsl:value-of select="@title"/>
    <xsl:text>&#10;</xsl:text>
    <xsl:apply-templates select="section"/>
  </xsl:template>

  <xsl:template match="section">
    <xsl:param name="number" select="''"/>
    <xsl:param name="indent" select="''"/>
    <xsl:param name="level" select="1"/>
    <!-- The position among the sibling sections, counted without xsl:number. -->
    <xsl:variable name="mine" select="concat($number, count(preceding-sibling::section) + 1)"/>
    <xsl:value-of select="concat($indent, $mine, ' ', @title)"/>
    <xsl:text>&#10;</xsl:text>
    <xsl:if test="$depth = 0 or $level &lt; $depth">
      <xsl:apply-templates select="section">
        <xsl:with-param name="number" select="concat($mine, '.')"/>
        <xsl:with-param name="indent" select="concat($indent, '  ')"/>
        <xsl:with-param name="level" select="$level + 1"/>
      </xsl:apply-templates>
    </xsl:if>
  </xsl:template>
</xsl:stylesheet>
