<?xml version="1.0"?>
<!-- Identity copy with xsl:copy (attribute values with braces stay literal), deep
     copies with xsl:copy-of, and nodes built by xsl:element, xsl:attribute and
     xsl:processing-instruction. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:h="urn:help">
  <xsl:output indent="no"/>
  <xsl:template match="/">
    <result>
      <xsl:apply-templates select="doc"/>
      <deep><xsl:copy-of select="doc/p[@id = 'b'] | doc/p[@id = 'a']"/></deep>
      <xsl:variable name="fragment"><x n="{count(//p)}">text</x>tail</xsl:variable>
      <fragment><xsl:copy-of select="$fragment"/></fragment>
      <xsl:if test="$fragment = 'texttail'"><same/></xsl:if>
      <xsl:for-each select="doc/p">
        <xsl:element name="h:item-{position()}">
          <xsl:attribute name="of"><xsl:value-of select="count(../p)"/></xsl:attribute>
          <xsl:attribute name="raw">{<xsl:value-of select="@id"/>}</xsl:attribute>
          <xsl:attribute name="z:where" namespace="urn:z"><xsl:value-of select="@id"/></xsl:attribute>
          <xsl:value-of select="."/>
        </xsl:element>
      </xsl:for-each>
      <xsl:processing-instruction name="note">count=<xsl:value-of select="count(//p)"/></xsl:processing-instruction>
    </result>
  </xsl:template>
  <xsl:template match="@*|node()">
    <xsl:copy><xsl:apply-templates select="@*|node()"/></xsl:copy>
  </xsl:template>
</xsl:stylesheet>
