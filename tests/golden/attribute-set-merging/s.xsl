<?xml version="1.0"?>
<!-- Attribute sets: definitions of one name merge (a later definition, or one of higher
     import precedence, wins per attribute), used sets come before a set's own
     attributes, and an element's own attributes come after those of its sets. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:import href="defaults.xsl"/>
  <xsl:output omit-xml-declaration="yes"/>

  <xsl:attribute-set name="frame" use-attribute-sets="base">
    <xsl:attribute name="border">1</xsl:attribute>
    <xsl:attribute name="size"><xsl:value-of select="string-length(@id)"/></xsl:attribute>
  </xsl:attribute-set>
  <xsl:attribute-set name="frame">
    <xsl:attribute name="border">2</xsl:attribute>
  </xsl:attribute-set>
  <xsl:attribute-set name="base">
    <xsl:attribute name="shape">square</xsl:attribute>
    <xsl:attribute name="source">principal</xsl:attribute>
  </xsl:attribute-set>

  <xsl:template match="/">
    <out><xsl:apply-templates select="doc/box"/></out>
  </xsl:template>

  <xsl:template match="box">
    <xsl:variable name="local">not visible to sets</xsl:variable>
    <literal xsl:use-attribute-sets="frame" border="own" id="{@id}"/>
    <xsl:element name="built" use-attribute-sets="frame colour">
      <xsl:attribute name="shape">round</xsl:attribute>
    </xsl:element>
    <xsl:copy use-attribute-sets="colour"/>
  </xsl:template>
</xsl:stylesheet>
