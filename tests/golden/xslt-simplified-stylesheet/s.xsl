<html xmlns:xsl="http://www.w3.org/1999/XSL/Transform" xsl:version="1.0">
  <head><title><xsl:value-of select="doc/title"/></title></head>
  <body>
    <xsl:for-each select="doc/p"><p id="p{@n}"><xsl:value-of select="."/></p></xsl:for-each>
  </body>
</html>
