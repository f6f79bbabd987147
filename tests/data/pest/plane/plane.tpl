ptf $
MANNING_N $N       $
