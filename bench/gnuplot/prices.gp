# The five price series of Data/ (in the working folder) as percent moves on
# one scale, with a whole-percent grid and one-minute time ticks, written to
# prices.gif at the exported chart's size. Run: gnuplot -c prices.gp
# (prices.awk, beside this script, prepares the data).
here = system("dirname '" . ARG0 . "'")
load "< awk -f '" . here . "/prices.awk'"

set terminal gif size 1801,977
set output "prices.gif"

set xdata time
set timefmt "%s"
set format x "%H:%M"
set xrange ["52950":"53580"]
set xtics 60
set mxtics 6
set ytics 1 format "%g%%"
set grid xtics ytics
set key top right
set title "Percent move from each series' first value, 14:42:30 to 14:53:00"

plot for [i = 0:4] $prices index i using 1:2 with lines lw 1 \
     title word("eSPY iDJI fES.M10 eSPY.vw fES.M10.vw", i + 1)
