<?xml version="1.0"?>
<!-- Import precedence: every element passes through a chain of three stylesheets, each
     wrapping what the one it imports writes (xsl:apply-imports), with an included
     stylesheet at the lowest level, and modes and templates overridden at each level. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:import href="imports-2.xsl"/>
  <xsl:output method="xml" indent="no"/>
  <xsl:template match="order">
    <top prio="{@priority}"><xsl:apply-imports/></top>
  </xsl:template>
  <xsl:template match="line[@qty &gt; 30]">
    <bulk><xsl:apply-imports/></bulk>
  </xsl:template>
  <xsl:template match="customer" mode="brief">
    <who><xsl:apply-imports/></who>
  </xsl:template>
</xsl:stylesheet>
