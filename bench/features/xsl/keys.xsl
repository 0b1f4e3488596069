<?xml version="1.0"?>
<!-- Grouping with keys (Muenchian) and key() lookups: orders grouped by category and,
     inside, by customer city; each line's product and each order's customer looked up
     by key. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" indent="no"/>
  <xsl:key name="order-by-cat" match="order" use="@cat"/>
  <xsl:key name="customer" match="customer" use="@id"/>
  <xsl:key name="product" match="product" use="@sku"/>
  <xsl:key name="order-by-cat-city" match="order"
           use="concat(@cat, '/', key('customer', @customer)/@city)"/>
  <xsl:key name="line-by-sku" match="line" use="@sku"/>
  <xsl:template match="/shop">
    <groups>
      <xsl:for-each select="orders/order[generate-id() = generate-id(key('order-by-cat', @cat)[1])]">
        <xsl:sort select="@cat"/>
        <xsl:variable name="cat" select="@cat"/>
        <xsl:variable name="group" select="key('order-by-cat', $cat)"/>
        <cat name="{$cat}" orders="{count($group)}" lines="{count($group/line)}">
          <xsl:for-each select="$group[count(. | key('order-by-cat-city', concat($cat, '/', key('customer', @customer)/@city))[1]) = 1]">
            <xsl:sort select="key('customer', @customer)/@city"/>
            <xsl:variable name="city" select="key('customer', @customer)/@city"/>
            <city name="{$city}"
                  orders="{count(key('order-by-cat-city', concat($cat, '/', $city)))}"/>
          </xsl:for-each>
        </cat>
      </xsl:for-each>
      <xsl:for-each select="orders/order[position() mod 5 = 0]">
        <o id="{@id}" who="{key('customer', @customer)/name}">
          <xsl:for-each select="line">
            <xsl:variable name="p" select="key('product', @sku)"/>
            <l title="{$p/title}" cat="{$p/@cat}" others="{count(key('line-by-sku', @sku)) - 1}"/>
          </xsl:for-each>
        </o>
      </xsl:for-each>
    </groups>
  </xsl:template>
</xsl:stylesheet>
