<?xml version="1.0"?>
<!-- Whitespace stripping in the source and in documents it loads, decimal formats,
     comments, fallback. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:eu="urn:formats" exclude-result-prefixes="eu">
  <xsl:output indent="no"/>
  <xsl:strip-space elements="*"/>
  <xsl:preserve-space elements="code"/>
  <xsl:decimal-format name="eu:money" decimal-separator="," grouping-separator="."
                      minus-sign="&#x2212;"/>

  <xsl:template match="/">
    <report>
      <xsl:comment> prices -- <xsl:value-of select="count(//item)"/> items -</xsl:comment>
      <xsl:apply-templates select="prices/item | document('more.xml')/more/item"/>
      <texts>
        <xsl:for-each select="//item | //note | //code | document('more.xml')//item">
          <xsl:value-of select="concat(name(), '=', count(text()), ' ')"/>
        </xsl:for-each>
      </texts>
      <later xsl:version="2.0">
        <xsl:for-each-group select="//item" group-by="@name">
          <xsl:fallback>no grouping</xsl:fallback>
        </xsl:for-each-group>
      </later>
      <version><xsl:value-of select="system-property('xsl:version')"/></version>
    </report>
  </xsl:template>

  <xsl:template match="item">
    <item name="{@name}"
          us="{format-number(price, '#,##0.00;(#,##0.00)')}"
          eu="{format-number(price, '#.##0,00', 'eu:money')}"
          pct="{format-number(price, '0.#%')}"/>
  </xsl:template>
</xsl:stylesheet>
