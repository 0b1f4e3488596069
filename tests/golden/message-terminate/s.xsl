<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:template match="/">
    <xsl:text>before&#10;</xsl:text>
    <xsl:message>note: <xsl:value-of select="count(//item)"/> items, <b>bold</b></xsl:message>
    <xsl:for-each select="//item">
      <xsl:value-of select="position()"/>
      <xsl:text>. </xsl:text>
      <xsl:value-of select="."/>
      <xsl:text>&#10;</xsl:text>
      <xsl:if test="@stop">
        <xsl:message terminate="yes">stopped at <xsl:value-of select="."/></xsl:message>
      </xsl:if>
    </xsl:for-each>
    <xsl:text>never&#10;</xsl:text>
  </xsl:template>
</xsl:stylesheet>
