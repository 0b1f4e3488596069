<?xml version="1.0"?>
<!-- Attribute sets: sets that use other sets, the same set named by several, values
     computed from the current node, and sets merged on literal result elements,
     xsl:element and xsl:copy, with later attributes overriding earlier ones. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" indent="no"/>
  <xsl:attribute-set name="base">
    <xsl:attribute name="class">row</xsl:attribute>
    <xsl:attribute name="lang">en</xsl:attribute>
  </xsl:attribute-set>
  <xsl:attribute-set name="cell" use-attribute-sets="base">
    <xsl:attribute name="class">cell</xsl:attribute>
    <xsl:attribute name="align">right</xsl:attribute>
  </xsl:attribute-set>
  <xsl:attribute-set name="order" use-attribute-sets="base">
    <xsl:attribute name="id"><xsl:value-of select="@id"/></xsl:attribute>
    <xsl:attribute name="prio">p<xsl:value-of select="@priority"/></xsl:attribute>
  </xsl:attribute-set>
  <xsl:attribute-set name="order">
    <xsl:attribute name="cat"><xsl:value-of select="@cat"/></xsl:attribute>
  </xsl:attribute-set>
  <xsl:attribute-set name="money" use-attribute-sets="cell">
    <xsl:attribute name="total"><xsl:value-of select="round(@qty * @price * 100)"/></xsl:attribute>
  </xsl:attribute-set>
  <xsl:attribute-set name="marked">
    <xsl:attribute name="data-sku"><xsl:value-of select="@sku"/></xsl:attribute>
    <xsl:attribute name="lang">xx</xsl:attribute>
  </xsl:attribute-set>
  <xsl:template match="/shop">
    <table xsl:use-attribute-sets="base">
      <xsl:apply-templates select="orders/order"/>
    </table>
  </xsl:template>
  <xsl:template match="order">
    <tr xsl:use-attribute-sets="order" class="order">
      <xsl:apply-templates select="line"/>
      <xsl:element name="td" use-attribute-sets="cell base">
        <xsl:value-of select="date"/>
      </xsl:element>
    </tr>
  </xsl:template>
  <xsl:template match="line">
    <td xsl:use-attribute-sets="money marked">
      <xsl:copy use-attribute-sets="cell">
        <xsl:copy-of select="@sku"/>
      </xsl:copy>
    </td>
  </xsl:template>
</xsl:stylesheet>
