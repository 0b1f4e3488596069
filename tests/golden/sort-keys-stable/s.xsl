<?xml version="1.0"?>
<!-- Several sort keys, stability, numbers that are not numbers, and sorted positions. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:param name="order" select="'descending'"/>

  <xsl:template match="/staff">
    <xsl:text>By department, then salary (highest first); equal salaries keep their order:&#10;</xsl:text>
    <xsl:apply-templates select="person">
      <xsl:sort select="@dept" case-order="upper-first"/>
      <xsl:with-param name="indent" select="'  '"/>
      <xsl:sort select="@salary" data-type="number" order="{$order}"/>
    </xsl:apply-templates>
    <xsl:text>&#10;By start year, as numbers and as text:&#10;</xsl:text>
    <xsl:for-each select="person">
      <xsl:sort select="@started" data-type="number"/>
      <xsl:value-of select="substring(@started, 3)"/>
      <xsl:if test="position() != last()">, </xsl:if>
    </xsl:for-each>
    <xsl:text>&#10;</xsl:text>
    <xsl:for-each select="person">
      <xsl:sort select="substring(@started, 3)" data-type="text" order="descending"/>
      <xsl:value-of select="substring(@started, 3)"/>
      <xsl:if test="position() != last()">, </xsl:if>
    </xsl:for-each>
    <xsl:text>&#10;Salaries, not-a-number first:&#10;</xsl:text>
    <xsl:for-each select="person/@salary">
      <xsl:sort data-type="number"/>
      <xsl:value-of select="."/>
      <xsl:if test="position() != last()">, </xsl:if>
    </xsl:for-each>
    <xsl:text>&#10;</xsl:text>
  </xsl:template>

  <xsl:template match="person">
    <xsl:param name="indent"/>
    <xsl:value-of select="concat($indent, position(), '/', last(), ' ', @dept, ' ', @salary, ' ', .)"/>
    <xsl:text>&#10;</xsl:text>
  </xsl:template>
</xsl:stylesheet>
