# SPDX-License-Identifier: GPL-3.0-or-later
# Turns the application icon's 32x32 XPM (drawn by src/ui/qt/icons/make-icons.py)
# into the scalable SVG icon: one square per pixel, merged into horizontal
# runs, one path per colour, so the SVG is the same design at any size.
# Usage: awk -f xpm-to-svg.awk tallowmere-32.xpm > tallowmere.svg

function fail(message) {
  print "xpm-to-svg: " message > "/dev/stderr"
  failed = 1
  exit 1
}

# The text between the first pair of double quotes on a line.
/"/ {
  text = $0
  sub(/^[^"]*"/, "", text)
  if (index(text, "\"") == 0)
    next
  sub(/".*$/, "", text)
  strings[count++] = text
}

END {
  if (failed)
    exit 1
  if (count == 0)
    fail("no XPM strings found")
  split(strings[0], header, " ")
  width = header[1] + 0; height = header[2] + 0; colours = header[3] + 0; cpp = header[4] + 0
  if (width <= 0 || height <= 0 || colours <= 0 || cpp != 1 || width > 1024 || height > 1024)
    fail("unsupported XPM header '" strings[0] "'")
  if (count != 1 + colours + height)
    fail("expected " colours " colours and " height " rows, found " (count - 1) " strings")
  for (i = 1; i <= colours; ++i) {
    key = substr(strings[i], 1, 1)
    spec = substr(strings[i], 2)
    if (!match(spec, /(^|[ \t])c[ \t]+[^ \t]+/))
      fail("colour line '" strings[i] "' has no c value")
    value = substr(spec, RSTART, RLENGTH)
    sub(/^[ \t]*c[ \t]+/, "", value)
    fill[key] = value
    order[i] = key
  }
  for (y = 0; y < height; ++y) {
    row = strings[1 + colours + y]
    if (length(row) != width)
      fail("row " y " is " length(row) " pixels wide, not " width)
    for (x = 0; x < width; x = end) {
      key = substr(row, x + 1, 1)
      if (!(key in fill))
        fail("row " y " uses undefined colour '" key "'")
      for (end = x + 1; end < width && substr(row, end + 1, 1) == key; ++end)
        ;
      if (tolower(fill[key]) != "none")
        path[key] = path[key] sprintf("M%d %dh%dv1h-%dz", x, y, end - x, end - x)
    }
  }
  printf "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
  printf "<!-- SPDX-License-Identifier: GPL-3.0-or-later -->\n"
  printf "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" shape-rendering=\"crispEdges\">\n", width, height, width, height
  for (i = 1; i <= colours; ++i)
    if (order[i] in path)
      printf "  <path fill=\"%s\" d=\"%s\"/>\n", fill[order[i]], path[order[i]]
  printf "</svg>\n"
}
