<?xml version="1.0"?>
<!-- Multi-key sorting: every order by category (text), then priority (number,
     descending), then date (text, descending); every product by price (number) and
     title; customers by name. Also a sort inside a sort (the lines of each order). -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" indent="no"/>
  <xsl:template match="/shop">
    <sorted>
      <orders>
        <xsl:for-each select="orders/order">
          <xsl:sort select="@cat"/>
          <xsl:sort select="@priority" data-type="number" order="descending"/>
          <xsl:sort select="date" order="descending"/>
          <o id="{@id}" cat="{@cat}" p="{@priority}" d="{date}">
            <xsl:for-each select="line">
              <xsl:sort select="@qty * @price" data-type="number" order="descending"/>
              <xsl:sort select="@sku"/>
              <l sku="{@sku}" q="{@qty}"/>
            </xsl:for-each>
          </o>
        </xsl:for-each>
      </orders>
      <products>
        <xsl:apply-templates select="products/product">
          <xsl:sort select="price" data-type="number"/>
          <xsl:sort select="title" order="descending"/>
        </xsl:apply-templates>
      </products>
      <customers>
        <xsl:for-each select="customers/customer">
          <xsl:sort select="name"/>
          <xsl:sort select="credit" data-type="number" order="descending"/>
          <c id="{@id}"><xsl:value-of select="name"/></c>
        </xsl:for-each>
      </customers>
    </sorted>
  </xsl:template>
  <xsl:template match="product">
    <p sku="{@sku}" price="{price}"><xsl:value-of select="title"/></p>
  </xsl:template>
</xsl:stylesheet>
