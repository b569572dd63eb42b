#!/bin/sh
# Draws the stand-in's sample exports with ImageMagick and writes them as a
# C++ source: a grey OCT B-scan of 1024 x 496 pixels and a colour fundus
# photograph of 768 x 768, JPEGs as the device's software exports them.
#   samples.sh OUTPUT.cpp
set -eu
out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Retinal layers across the fovea, in speckle.
convert -seed 1 -size 1024x496 xc:'gray(6)' -stroke none \
  -fill 'gray(62)' -draw "path 'M 0,140 C 350,140 450,205 512,205 C 574,205 674,140 1024,140 L 1024,292 Q 512,252 0,292 Z'" \
  -fill 'gray(105)' -draw "path 'M 0,196 Q 400,196 512,224 Q 624,196 1024,196 L 1024,230 Q 624,230 512,238 Q 400,230 0,230 Z'" \
  -fill 'gray(28)' -draw "path 'M 0,252 Q 512,240 1024,252 L 1024,276 Q 512,238 0,276 Z'" \
  -fill 'gray(215)' -draw "path 'M 0,136 C 350,136 450,201 512,201 C 574,201 674,136 1024,136 L 1024,142 C 674,142 574,207 512,207 C 450,207 350,142 0,142 Z'" \
  -fill 'gray(150)' -draw "path 'M 0,280 Q 512,240 1024,280 L 1024,284 Q 512,244 0,284 Z'" \
  -fill 'gray(240)' -draw "path 'M 0,294 Q 512,254 1024,294 L 1024,306 Q 512,266 0,306 Z'" \
  -fill 'gray(70)' -draw "path 'M 0,306 Q 512,266 1024,306 L 1024,400 Q 512,360 0,400 Z'" \
  -attenuate 1.1 +noise Multiplicative -blur 0x1.1 -colorspace Gray -quality 90 "$work/Bscan.jpg"
# The optic disc, the macula and the vessels, in a round field.
convert -seed 1 -size 768x768 radial-gradient:'rgb(225,105,45)'-'rgb(120,35,15)' -stroke none \
  -fill 'rgb(150,30,25)' -draw "path 'M 560,384 C 470,300 330,250 60,230 L 63,236 C 333,256 473,306 563,390 Z'" \
  -fill 'rgb(150,30,25)' -draw "path 'M 560,384 C 470,470 330,520 60,545 L 63,551 C 333,526 473,476 563,390 Z'" \
  -fill 'rgb(150,30,25)' -draw "path 'M 560,384 C 500,260 420,160 300,60 L 304,60 C 424,160 504,260 564,384 Z'" \
  -fill 'rgb(150,30,25)' -draw "path 'M 560,384 C 500,510 420,610 300,710 L 304,710 C 424,610 504,510 564,384 Z'" \
  -fill 'rgb(175,55,35)' -draw "path 'M 560,384 C 480,330 350,300 90,330 L 91,333 C 351,303 481,333 561,387 Z'" \
  -fill 'rgb(175,55,35)' -draw "path 'M 560,384 C 480,440 350,470 90,445 L 91,448 C 351,473 481,443 561,387 Z'" \
  -fill 'rgb(250,215,140)' -draw 'circle 560,384 610,384' \
  -fill 'rgb(255,240,200)' -draw 'circle 566,380 585,380' -fill 'rgb(110,40,20)' -draw 'circle 330,390 360,390' \
  \( -size 768x768 xc:black -fill white -draw 'circle 384,384 384,8' -blur 0x6 \) -compose multiply -composite \
  -attenuate 0.3 +noise Gaussian -sampling-factor 2x2 -quality 90 "$work/Fundus.jpg"
{
  echo '// Drawn by samples.sh at build time.'
  echo '#include <cstddef>'
  for name in Bscan Fundus; do
    echo "extern const unsigned char k${name}[] = {"
    od -An -v -tx1 "$work/$name.jpg" | sed 's/ \([0-9a-f][0-9a-f]\)/0x\1,/g'
    echo "};"
    echo "extern const std::size_t k${name}Size = sizeof k${name};"
  done
} >"$out.tmp"
mv "$out.tmp" "$out"
