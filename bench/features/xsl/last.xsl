<?xml version="1.0"?>
<!-- last() and position(): separators between items but not after the last, the last
     and next-to-last of each list, predicates with last(), and last() of a sorted and
     of a filtered node list. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" indent="no"/>
  <xsl:template match="/shop">
    <lists>
      <xsl:for-each select="orders/order">
        <o id="{@id}" n="{last()}">
          <xsl:for-each select="line">
            <xsl:value-of select="@sku"/>
            <xsl:choose>
              <xsl:when test="position() = last() - 1"> and </xsl:when>
              <xsl:when test="position() != last()">, </xsl:when>
              <xsl:otherwise>.</xsl:otherwise>
            </xsl:choose>
          </xsl:for-each>
          <xsl:if test="position() = last()"><end/></xsl:if>
          <last sku="{line[last()]/@sku}" before="{line[last() - 1]/@sku}"
                prev="{(line[last()]/preceding-sibling::line)[last()]/@sku}"/>
          <xsl:apply-templates select="line[@qty &gt; 10]"/>
        </o>
      </xsl:for-each>
      <xsl:for-each select="customers/customer[@city = 'oslo']">
        <xsl:sort select="name" order="descending"/>
        <c pos="{position()}" of="{last()}"><xsl:value-of select="name"/></c>
      </xsl:for-each>
    </lists>
  </xsl:template>
  <xsl:template match="line">
    <big at="{position()}" of="{last()}" last="{position() = last()}"/>
  </xsl:template>
</xsl:stylesheet>
