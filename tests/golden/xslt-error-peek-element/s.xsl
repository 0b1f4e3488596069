<?xml version="1.0"?>
<html>
  <body xmlns:xsl="http://www.w3.org/1999/XSL/Transform"/>
</html>
