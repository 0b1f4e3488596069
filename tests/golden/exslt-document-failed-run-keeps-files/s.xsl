<!-- The run fails after two documents were written: neither they nor the result replace
     the files there, and the folder made for one is gone again. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:exsl="http://exslt.org/common" extension-element-prefixes="exsl">
  <xsl:template match="/">
    <result>
      <exsl:document href="a.xml"><new/></exsl:document>
      <exsl:document href="made/b.xml"><new/></exsl:document>
      <xsl:value-of select="1 div $undefined"/>
    </result>
  </xsl:template>
</xsl:stylesheet>
