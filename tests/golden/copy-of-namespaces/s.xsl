<?xml version="1.0"?>
<!-- Copies of source elements keep every namespace declaration they have, the XSLT one
     included; literal result elements and xsl:element leave the XSLT namespace out. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:d="urn:default" xmlns:out="urn:out">
  <xsl:template match="/">
    <out:result>
      <copy-of><xsl:copy-of select="d:doc"/></copy-of>
      <copy><xsl:for-each select="//d:doc/*"><xsl:copy/></xsl:for-each></copy>
      <in-variable>
        <xsl:variable name="tree"><xsl:copy-of select="//*[local-name() = 'deep']"/></xsl:variable>
        <xsl:copy-of select="$tree"/>
      </in-variable>
      <xsl:element name="built" namespace="urn:built"/>
    </out:result>
  </xsl:template>
</xsl:stylesheet>
