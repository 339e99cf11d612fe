# The five price series of Data/ as a gnuplot data block $prices, one block
# per series (seconds of the day, percent change), for prices.gp.
#
# Each series keeps the last record of every second from 14:42:30 to
# 14:53:00; its percent change is taken from the first nonzero value of that
# window. Fields are separated by '|' with blanks around them ignored; lines
# whose first field is no time of day (headers) are skipped.
BEGIN {
    FS = "|"
    first = 14 * 3600 + 42 * 60 + 30
    last = 14 * 3600 + 53 * 60
    n = split("Data/eSPY.txt:2 Data/iDJI.txt:2 Data/fES.M10.txt:2 Data/eSPY.vw.txt:5 Data/fES.M10.vw.txt:5",
              series, " ")
    print "$prices << EOD"
    for (s = 1; s <= n; ++s) {
        split(series[s], part, ":")
        file = part[1]
        column = part[2] + 0
        delete value
        while ((getline line < file) > 0) {
            sub(/\r$/, "", line)
            count = split(line, field, "|")
            if (count < column)
                continue
            t = field[1]
            gsub(/[ \t]/, "", t)
            if (t !~ /^[0-9]+:[0-9]+:[0-9]+/)
                continue
            split(t, hms, /[:.]/)
            second = hms[1] * 3600 + hms[2] * 60 + hms[3]
            if (second < first)
                continue
            if (second > last)
                break
            v = field[column]
            gsub(/[ \t]/, "", v)
            value[second] = v + 0
        }
        close(file)
        base = 0
        for (second = first; second <= last; ++second) {
            if (!(second in value))
                continue
            if (base == 0) {
                if (value[second] == 0)
                    continue
                base = value[second]
            }
            printf "%d %.4f\n", second, (value[second] - base) * 100 / base
        }
        print "\n"
    }
    print "EOD"
}
