ptf $
rough $rough   $
ksat $ksat    $
