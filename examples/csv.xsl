<?xml version="1.0" encoding="UTF-8"?>
<!-- Turns the book catalogue into CSV (RFC 4180): a header line, then one line per book.
     Fields holding a comma, a quote or a line break are quoted, quotes doubled.
     Run: ovra csv.xsl catalog.xml books.csv
     The parameter "separator" joins several authors in one field (default "; "). -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text" encoding="UTF-8"/>

  <xsl:param name="separator" select="'; '"/>

  <xsl:template match="/">
    <xsl:text>id,title,authors,year,price&#13;&#10;</xsl:text>
    <xsl:for-each select="catalog/book">
      <xsl:call-template name="field"><xsl:with-param name="value" select="@id"/></xsl:call-template>
      <xsl:text>,</xsl:text>
      <xsl:call-template name="field"><xsl:with-param name="value" select="title"/></xsl:call-template>
      <xsl:text>,</xsl:text>
      <xsl:call-template name="field">
        <xsl:with-param name="value">
          <xsl:for-each select="author">
            <xsl:if test="position() &gt; 1"><xsl:value-of select="$separator"/></xsl:if>
            <xsl:value-of select="."/>
          </xsl:for-each>
        </xsl:with-param>
      </xsl:call-template>
      <xsl:text>,</xsl:text>
      <xsl:call-template name="field"><xsl:with-param name="value" select="@year"/></xsl:call-template>
      <xsl:text>,</xsl:text>
      <xsl:call-template name="field"><xsl:with-param name="value" select="price"/></xsl:call-template>
      <xsl:text>&#13;&#10;</xsl:text>
    </xsl:for-each>
  </xsl:template>

  <!-- One field, quoted when it has to be. -->
  <xsl:template name="field">
    <xsl:param name="value"/>
    <xsl:choose>
      <xsl:when test="contains($value, ',') or contains($value, '&quot;')
                      or contains($value, '&#10;') or contains($value, '&#13;')">
        <xsl:text>"</xsl:text>
        <xsl:call-template name="double-quotes">
          <xsl:with-param name="text" select="string($value)"/>
        </xsl:call-template>
        <xsl:text>"</xsl:text>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$value"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- Writes text with every quote doubled, one quote per recursion. -->
  <xsl:template name="double-quotes">
    <xsl:param name="text"/>
    <xsl:choose>
      <xsl:when test="contains($text, '&quot;')">
        <xsl:value-of select="substring-before($text, '&quot;')"/>
        <xsl:text>""</xsl:text>
        <xsl:call-template name="double-quotes">
          <xsl:with-param name="text" select="substring-after($text, '&quot;')"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$text"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
