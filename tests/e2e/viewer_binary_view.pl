#!/usr/bin/perl
# Writes, as a binary PPM, the 600 x 512 picture the viewer shows for a data file in its
# "Binary" colour mode with one column of rows: worked out here pixel by pixel from the
# bytes, so that end-to-end tests can check the screen against it.
# Usage: viewer_binary_view.pl DATA OUTPUT.ppm WIDTH ZOOM FIRST INVERSE(0|1)
use strict;
use warnings;

my ($data_name, $output, $width, $zoom, $first, $inverse) = @ARGV;
die "usage: $0 DATA OUTPUT WIDTH ZOOM FIRST INVERSE\n" unless defined $inverse;

open(my $in, '<:raw', $data_name) or die "cannot read $data_name\n";
local $/;
my $data = <$in>;
close($in);
my $size = length($data);
my @bytes = unpack('C*', $data);

my $rows = int(512 / $zoom);
# The view draws at least one byte, then stops after the last byte of the data.
my $drawn = $size - $first;
$drawn = 1 if $drawn < 1;
my $shown = $width * $rows;
$drawn = $shown if $drawn > $shown;

my $black = pack('C3', 0, 0, 0);
my $white = pack('C3', 255, 255, 255);
my $cyan = pack('C3', 0, 255, 255);

my $picture = "P6\n600 512\n255\n";
for my $y (0 .. 511) {
    my $row = int($y / $zoom);
    for my $x (0 .. 599) {
        my $column = int($x / (8 * $zoom));
        my $n = $row * $width + $column;
        if ($column >= $width || $n >= $drawn) {
            $picture .= (($x ^ $y) & 1) ? $cyan : $black;
            next;
        }
        my $index = $first + $n;
        my $value = ($index >= 0 && $index < $size) ? ($bytes[$index] ^ ($inverse ? 0xFF : 0)) : 0;
        my $bit = 7 - int(($x % (8 * $zoom)) / $zoom);
        my $lit = ($value >> $bit) & 1;
        # At zoom 8 every pixel keeps a black line along its right and bottom edge.
        $lit = 0 if $zoom == 8 && ($x % 8 == 7 || $y % 8 == 7);
        $picture .= $lit ? $white : $black;
    }
}

open(my $out, '>:raw', $output) or die "cannot write $output\n";
print $out $picture;
close($out);
