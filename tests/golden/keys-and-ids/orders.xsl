<?xml version="1.0"?>
<!-- Groups orders by customer and by item with keys, finds customers by ID, picks
     English speakers with lang(). -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:key name="by-customer" match="order" use="@for"/>
  <xsl:key name="by-item" match="order" use="@item"/>
  <xsl:key name="by-item" match="customer" use="'ink'"/>

  <xsl:template match="/">
    <xsl:apply-templates select="orders/customer"/>
    <xsl:text>ink: </xsl:text>
    <xsl:for-each select="key('by-item', 'ink')">
      <xsl:value-of select="concat(name(), ' ', @for, .)"/>
      <xsl:text>; </xsl:text>
    </xsl:for-each>
    <xsl:text>&#10;customers of ink orders: </xsl:text>
    <xsl:for-each select="id(key('by-item', 'ink')/@for)">
      <xsl:value-of select="."/>
      <xsl:text> </xsl:text>
    </xsl:for-each>
    <xsl:text>&#10;</xsl:text>
  </xsl:template>

  <xsl:template match="customer">
    <xsl:value-of select="."/>
    <xsl:if test="lang('en')"> (English)</xsl:if>
    <xsl:text>: </xsl:text>
    <xsl:for-each select="key('by-customer', @cid)">
      <xsl:value-of select="@item"/>
      <xsl:text> </xsl:text>
    </xsl:for-each>
    <xsl:text>&#10;</xsl:text>
  </xsl:template>

  <xsl:template match="id('c2')">
    <xsl:text>Blaise is special&#10;</xsl:text>
  </xsl:template>
</xsl:stylesheet>
