ptf $
$a       $ $k       $
