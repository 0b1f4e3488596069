G<?xml version="1.0"?>
<xsl:stylesheet xmlns:xsl="http://www.w3.org/1999/XSL/Transform" version="1.0">

  <!-- FileName: select79 -->
  <!-- Document: http://www.w3.org/TR/xslt -->
  <!-- DocVersion: 19991116 -->
  <!-- Section: 12.4 -->
  <!-- Creator: David Marston -->
  <!-- Purpose: Simple test of current() in apply-templates. -->

<xsl:template match="doc">
  <out>
    <xsl:apply-templates select="foo">
      <xsl:with-param name="node" select="current()"/><!-- the doc node -->
    </xsl:apply-templates>
  </out>
</xsl:template>

<xsl:template match="foo">
  <xsl:param name="node" select="'duh'"/>
  <xsl:text>&#10;</xsl:text>
  <content>
    <xsl:attribute name="from">
      <xsl:value-of select="@name"/>
    </xsl:attribute>
    <xsl:attribute name="size">
      <xsl:value-of select="count($node)"/>
    </xsl:attribute>
    <xsl:value-of select="normalize-space($node)"/><!-- stringification of doc node -->
  </content>
</xsl:template>


  <!--
   * Licensed to the Apache Software Foundation (ASF) under one
   * or more contributor license agreements. See the NOTICE file
   * distributed with this work for additional information
   * regarding copyright ownership. The ASF licenses this file
   * to you under the Apache License, Version 2.0 (the  "License");
   * you may not use this file except in compliance with the License.
   * You may obtain a copy of the License at
   *
   *     http://www.apache.org/licenses/LICENSE-2.0
   *
   * Unless required by applicable law or agreed to in writing, software
   * distributed under the License is distributed on an "AS IS" BASIS,
   * WITHOUT WARRANTIES OR CONDITIONS OF ANY KIND, either express or implied.
   * See the License for the specific language governing permissions and
   * limitations under the License.
  -->

</xsl:stylesheet>
