<?xml version="1.0"?>
<!-- format-number() with the default and two named decimal formats: grouping, fixed
     and optional decimals, negative subpatterns, percent, per mille, padding, and the
     NaN and infinity strings. Every value has whole cents, so no rounding is halfway. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" indent="no"/>
  <xsl:decimal-format name="eu" decimal-separator="," grouping-separator="."
                      NaN="n/a" infinity="inf" minus-sign="~"/>
  <xsl:decimal-format name="odd" decimal-separator="!" grouping-separator="_"
                      percent="%" zero-digit="0" digit="x" pattern-separator="|"/>
  <xsl:template match="/shop">
    <numbers>
      <xsl:for-each select="customers/customer">
        <c id="{@id}">
          <v><xsl:value-of select="format-number(credit, '#,##0.00')"/></v>
          <v><xsl:value-of select="format-number(credit, '#,##0.00;(#,##0.00)')"/></v>
          <v><xsl:value-of select="format-number(credit, '#.##0,00', 'eu')"/></v>
          <v><xsl:value-of select="format-number(credit, 'x_xx0!000|-x_xx0!000', 'odd')"/></v>
          <v><xsl:value-of select="format-number(credit div 0, '#.##0,00', 'eu')"/></v>
          <v><xsl:value-of select="format-number(since, '000000')"/></v>
        </c>
      </xsl:for-each>
      <xsl:for-each select="products/product">
        <p sku="{@sku}">
          <v><xsl:value-of select="format-number(price, '0.00')"/></v>
          <v><xsl:value-of select="format-number(price, '#.0###')"/></v>
          <v><xsl:value-of select="format-number(stock, '#,###')"/></v>
          <v><xsl:value-of select="format-number(stock, '#.###', 'eu')"/></v>
          <v><xsl:value-of select="format-number(stock div 4, '#,##0.00')"/></v>
          <v><xsl:value-of select="format-number(price div 1000, '0.00000%')"/></v>
          <v><xsl:value-of select="format-number(price div 1000, '0.0000&#x2030;')"/></v>
          <v><xsl:value-of select="format-number(@sku, '0', 'eu')"/></v>
        </p>
      </xsl:for-each>
      <xsl:for-each select="orders/order/line">
        <l><xsl:value-of select="format-number(@qty * @price, '#,##0.00')"/></l>
      </xsl:for-each>
    </numbers>
  </xsl:template>
</xsl:stylesheet>
