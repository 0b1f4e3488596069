<?xml version="1.0"?>
<!-- last() in predicates, in for-each bodies and in templates applied to node lists. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>

  <xsl:template match="/library">
    <xsl:apply-templates select="shelf"/>
    <xsl:text>Last book of each shelf: </xsl:text>
    <xsl:for-each select="shelf/book[last()]">
      <xsl:value-of select="."/>
      <xsl:if test="position() != last()">; </xsl:if>
    </xsl:for-each>
    <xsl:text>&#10;Last book of the library: </xsl:text>
    <xsl:value-of select="(//book)[last()]"/>
    <xsl:text>&#10;Next to last, newest first: </xsl:text>
    <xsl:for-each select="//book">
      <xsl:sort select="@year" data-type="number" order="descending"/>
      <xsl:if test="position() = last() - 1">
        <xsl:value-of select="."/>
      </xsl:if>
    </xsl:for-each>
    <xsl:text>&#10;Shelves holding one book: </xsl:text>
    <xsl:value-of select="count(shelf[count(book) = 1][position() = last()])"/>
    <xsl:text>&#10;</xsl:text>
  </xsl:template>

  <xsl:template match="shelf">
    <xsl:value-of select="concat('Shelf ', @name, ' (', position(), ' of ', last(), '): ')"/>
    <xsl:for-each select="book">
      <xsl:value-of select="."/>
      <xsl:choose>
        <xsl:when test="position() = last() - 1"> and </xsl:when>
        <xsl:when test="position() != last()">, </xsl:when>
      </xsl:choose>
    </xsl:for-each>
    <xsl:text>&#10;</xsl:text>
  </xsl:template>

  <xsl:template match="book[position() = last()]" mode="unused"/>
</xsl:stylesheet>
