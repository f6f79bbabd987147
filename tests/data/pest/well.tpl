ptf $
$x       $
