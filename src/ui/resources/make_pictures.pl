#!/usr/bin/perl
# Makes the program's own pictures (the BMP files and the icon beside this script) from a
# few shapes. Run it again after a change here and commit its output with it:
#
#   perl src/ui/resources/make_pictures.pl
#
# Every bitmap is an 8-bit palette BMP, bottom-up, whose background is the mask colour
# (255, 0, 255) where it has one (ui_resources.h). The icon holds 16, 32 and 48 pixel images
# of 32 bits with alpha. Only core Perl is used.
use strict;
use warnings;
use File::Basename qw(dirname);

my $out = dirname(__FILE__);
my @MASK = (255, 0, 255);

# ---- A canvas of palette indices -------------------------------------------------------

sub canvas {
  my ($w, $h, $fill) = @_;
  return { w => $w, h => $h, px => [ map { [ ($fill) x $w ] } 1 .. $h ] };
}

sub put {
  my ($c, $x, $y, $i) = @_;
  return if $x < 0 || $y < 0 || $x >= $c->{w} || $y >= $c->{h};
  $c->{px}[$y][$x] = $i;
}

sub rect {  # filled, inclusive corners
  my ($c, $x0, $y0, $x1, $y1, $i) = @_;
  for my $y ($y0 .. $y1) { put($c, $_, $y, $i) for $x0 .. $x1 }
}

sub frame {  # one pixel outline, inclusive corners
  my ($c, $x0, $y0, $x1, $y1, $i) = @_;
  for my $x ($x0 .. $x1) { put($c, $x, $y0, $i); put($c, $x, $y1, $i) }
  for my $y ($y0 .. $y1) { put($c, $x0, $y, $i); put($c, $x1, $y, $i) }
}

# A thick line: every pixel whose centre lies within $r of the segment.
sub line {
  my ($c, $x0, $y0, $x1, $y1, $r, $i) = @_;
  my ($dx, $dy) = ($x1 - $x0, $y1 - $y0);
  my $len2 = $dx * $dx + $dy * $dy || 1;
  for my $y (0 .. $c->{h} - 1) {
    for my $x (0 .. $c->{w} - 1) {
      my ($px, $py) = ($x + 0.5, $y + 0.5);
      my $t = (($px - $x0) * $dx + ($py - $y0) * $dy) / $len2;
      $t = 0 if $t < 0;
      $t = 1 if $t > 1;
      my ($qx, $qy) = ($x0 + $t * $dx - $px, $y0 + $t * $dy - $py);
      put($c, $x, $y, $i) if $qx * $qx + $qy * $qy <= $r * $r;
    }
  }
}

# A filled polygon (pixel centres inside, even-odd rule).
sub polygon {
  my ($c, $i, @p) = @_;
  my $n = @p / 2;
  for my $y (0 .. $c->{h} - 1) {
    for my $x (0 .. $c->{w} - 1) {
      my ($px, $py, $in) = ($x + 0.5, $y + 0.5, 0);
      for (my ($a, $b) = (0, $n - 1); $a < $n; $b = $a++) {
        my ($ax, $ay, $bx, $by) = @p[2 * $a, 2 * $a + 1, 2 * $b, 2 * $b + 1];
        if (($ay > $py) != ($by > $py) && $px < ($bx - $ax) * ($py - $ay) / ($by - $ay) + $ax) {
          $in = !$in;
        }
      }
      put($c, $x, $y, $i) if $in;
    }
  }
}

# A ring or disc: centres with $r0 <= distance <= $r1.
sub ring {
  my ($c, $cx, $cy, $r0, $r1, $i) = @_;
  for my $y (0 .. $c->{h} - 1) {
    for my $x (0 .. $c->{w} - 1) {
      my $d = sqrt(($x + 0.5 - $cx)**2 + ($y + 0.5 - $cy)**2);
      put($c, $x, $y, $i) if $d >= $r0 && $d <= $r1;
    }
  }
}

# ---- BMP and ICO writers ----------------------------------------------------------------

sub write_file {
  my ($name, $bytes) = @_;
  open(my $f, '>:raw', "$out/$name") or die "$out/$name: $!";
  print $f $bytes;
  close($f) or die "$out/$name: $!";
}

# An 8-bit palette BMP; $palette is a list of [r, g, b].
sub bmp {
  my ($name, $c, $palette) = @_;
  my ($w, $h) = ($c->{w}, $c->{h});
  my $stride = ($w + 3) & ~3;
  my $pixels = '';
  for my $y (reverse 0 .. $h - 1) {
    $pixels .= pack('C*', @{ $c->{px}[$y] }) . ("\0" x ($stride - $w));
  }
  my $colours = @$palette;
  my $table = join '', map { pack('C4', $_->[2], $_->[1], $_->[0], 0) } @$palette;
  my $offset = 14 + 40 + length $table;
  my $file = pack('a2 V v v V', 'BM', $offset + length $pixels, 0, 0, $offset)
    . pack('V l l v v V V l l V V', 40, $w, $h, 1, 8, 0, length $pixels, 2835, 2835, $colours, 0)
    . $table . $pixels;
  write_file($name, $file);
}

# An icon of 32-bit images; each image is [size, code ref (x, y) -> [r, g, b, a]].
sub ico {
  my ($name, @images) = @_;
  my ($dir, $data) = (pack('v v v', 0, 1, scalar @images), '');
  my $offset = 6 + 16 * @images;
  for my $image (@images) {
    my ($s, $shade) = @$image;
    my ($xor, $and) = ('', '');
    my $maskStride = (($s + 31) >> 5) * 4;
    for my $y (reverse 0 .. $s - 1) {
      my @bits = (0) x ($maskStride * 8);
      for my $x (0 .. $s - 1) {
        my ($r, $g, $b, $a) = @{ $shade->($x, $y, $s) };
        $xor .= pack('C4', $b, $g, $r, $a);
        $bits[$x] = 1 if $a == 0;
      }
      $and .= pack('B*', join '', @bits);
    }
    my $bitmap = pack('V l l v v V V l l V V', 40, $s, 2 * $s, 1, 32, 0, length($xor) + length($and),
      0, 0, 0, 0) . $xor . $and;
    $dir .= pack('C C C C v v V V', $s % 256, $s % 256, 0, 0, 1, 32, length $bitmap, $offset);
    $offset += length $bitmap;
    $data .= $bitmap;
  }
  write_file($name, $dir . $data);
}

# ---- The large pictures: a gradient with shapes in a lighter tint -----------------------

# Palette: 0..127 the gradient from $top to $bottom, 128..255 the same lighter.
sub gradient_palette {
  my ($top, $bottom, $lift) = @_;
  my @p;
  for my $tint (0, 1) {
    for my $k (0 .. 127) {
      my @c = map { $top->[$_] + ($bottom->[$_] - $top->[$_]) * $k / 127 } 0 .. 2;
      @c = map { $_ + ($lift > 0 ? (255 - $_) : $_) * $lift * $tint } @c;
      push @p, [ map { int($_ + 0.5) } @c ];
    }
  }
  return \@p;
}

# Level 0..127 of a pixel for a gradient running top left to bottom right.
sub gradient_canvas {
  my ($w, $h, $inside) = @_;
  my $c = canvas($w, $h, 0);
  for my $y (0 .. $h - 1) {
    for my $x (0 .. $w - 1) {
      my $level = int(127 * (0.75 * $y / ($h - 1) + 0.25 * $x / ($w - 1)) + 0.5);
      $c->{px}[$y][$x] = $level + ($inside->($x + 0.5, $y + 0.5) ? 128 : 0);
    }
  }
  return $c;
}

# BACKGROUND: light sky to pale, with large soft rings and a band; stretched to the screen,
# so it is small. Light, so that the navy system name reads well on it.
{
  my ($w, $h) = (160, 120);
  my $inside = sub {
    my ($x, $y) = @_;
    my $d1 = sqrt(($x - 130)**2 + ($y - 95)**2);
    my $d2 = sqrt(($x - 20)**2 + ($y - 110)**2);
    my $band = abs(($y - 0.35 * $x) - 52);
    return ($d1 > 38 && $d1 < 46) || ($d1 < 22) || ($d2 > 24 && $d2 < 29) || $band < 3;
  };
  bmp('background.bmp', gradient_canvas($w, $h, $inside),
    gradient_palette([ 176, 206, 236 ], [ 236, 242, 250 ], 0.35));
}

# LEFTLOGO, 157 x 260: deep blue to teal, with stacked boxes (the parts of a product) and rings.
{
  my ($w, $h) = (157, 260);
  my $inside = sub {
    my ($x, $y) = @_;
    my $d = sqrt(($x - 78)**2 + ($y - 70)**2);
    return 1 if $d > 44 && $d < 50;
    return 1 if $d > 30 && $d < 33;
    for my $box ([ 38, 150, 118, 176 ], [ 46, 182, 110, 208 ], [ 54, 214, 102, 240 ]) {
      my ($x0, $y0, $x1, $y1) = @$box;
      return 1 if $x >= $x0 && $x <= $x1 && $y >= $y0 && $y <= $y1;
    }
    return 0;
  };
  bmp('leftlogo.bmp', gradient_canvas($w, $h, $inside),
    gradient_palette([ 20, 40, 110 ], [ 30, 140, 150 ], 0.30));
}

# ---- Small pictures on the mask colour --------------------------------------------------

# One palette for every small picture.
my @small = (
  \@MASK,            # 0 background (drawn transparently)
  [ 0, 0, 0 ],       # 1 black
  [ 96, 96, 96 ],    # 2 dark grey
  [ 160, 160, 160 ], # 3 grey
  [ 212, 208, 200 ], # 4 light grey
  [ 255, 255, 255 ], # 5 white
  [ 0, 128, 0 ],     # 6 green
  [ 240, 200, 80 ],  # 7 folder yellow
  [ 150, 110, 20 ],  # 8 folder edge
  [ 255, 230, 140 ], # 9 light yellow
  [ 90, 150, 230 ],  # 10 blue
  [ 40, 60, 160 ],   # 11 dark blue
  [ 200, 40, 40 ],   # 12 red
  [ 230, 230, 250 ], # 13 pale (disc)
);
my ($BG, $BLACK, $DARK, $GREY, $LIGHT, $WHITE, $GREEN, $YELLOW, $EDGE, $PALE_YELLOW, $BLUE,
  $DARK_BLUE, $RED, $PALE) = 0 .. 13;

# STATEIMAGES: four 16 x 16 boxes side by side.
{
  my $c = canvas(64, 16, $BG);
  my $box = sub {
    my ($n, $inner) = @_;
    my $x = 16 * $n;
    rect($c, $x + 2, 2, $x + 13, 13, $inner);
    frame($c, $x + 1, 1, $x + 14, 14, $DARK);
  };
  my $tick = sub {
    my ($n, $colour) = @_;
    my $x = 16 * $n;
    line($c, $x + 4, 8, $x + 7, 11, 1.0, $colour);
    line($c, $x + 7, 11, $x + 12, 4.5, 1.0, $colour);
  };
  $box->(0, $WHITE);
  $tick->(0, $BLACK);
  $box->(1, $LIGHT);
  $tick->(1, $GREY);
  $box->(2, $WHITE);
  $box->(3, $LIGHT);
  line($c, 48 + 4, 4, 48 + 12, 12, 0.6, $GREY);
  line($c, 48 + 12, 4, 48 + 4, 12, 0.6, $GREY);
  # The picture draws a tree row: the pixel under the row (bottom left) stays the mask.
  bmp('stateimages.bmp', $c, \@small);
}

sub small {
  my ($name, $draw) = @_;
  my $c = canvas(16, 16, $BG);
  $draw->($c);
  put($c, 0, 15, $BG);  # the bottom-left pixel names the transparent colour
  bmp($name, $c, \@small);
}

# A drive's body: a flat box seen from the front.
sub drive_body {
  my ($c, $fill) = @_;
  rect($c, 1, 6, 14, 12, $fill);
  frame($c, 1, 6, 14, 12, $DARK);
  line($c, 2, 11, 14, 11, 0.5, $GREY);
}

small('floppy.bmp', sub {
  my $c = shift;
  rect($c, 2, 2, 13, 13, $DARK_BLUE);
  rect($c, 5, 2, 10, 6, $LIGHT);
  rect($c, 8, 3, 9, 5, $DARK);
  rect($c, 4, 9, 11, 13, $WHITE);
  frame($c, 2, 2, 13, 13, $BLACK);
});
small('hard.bmp', sub {
  my $c = shift;
  drive_body($c, $LIGHT);
  rect($c, 11, 8, 12, 9, $GREEN);
});
small('network.bmp', sub {
  my $c = shift;
  drive_body($c, $LIGHT);
  rect($c, 11, 8, 12, 9, $GREEN);
  rect($c, 7, 13, 8, 14, $DARK);
  rect($c, 3, 14, 12, 14, $DARK);
  rect($c, 4, 1, 11, 4, $BLUE);
  frame($c, 4, 1, 11, 4, $DARK_BLUE);
  rect($c, 7, 4, 8, 5, $DARK);
});
small('cdrom.bmp', sub {
  my $c = shift;
  ring($c, 8, 8, 0, 7, $PALE);
  ring($c, 8, 8, 6.3, 7.3, $DARK);
  ring($c, 8, 8, 3.2, 5.2, $BLUE);
  ring($c, 8, 8, 0, 1.6, $BG);
  ring($c, 8, 8, 1.6, 2.4, $GREY);
});
small('ram.bmp', sub {
  my $c = shift;
  rect($c, 1, 5, 14, 10, $GREEN);
  frame($c, 1, 5, 14, 10, $DARK);
  rect($c, $_, 6, $_ + 1, 8, $BLACK) for 3, 7, 11;
  put($c, $_, 11, $EDGE) for 2, 4, 6, 8, 10, 12;
  put($c, $_, 12, $EDGE) for 2, 4, 6, 8, 10, 12;
});

# Folders: a tab and a body; an open folder shows its front leaning forward.
sub folder {
  my ($c, $open, $body, $front) = @_;
  polygon($c, $body, 1, 3, 6, 3, 7, 5, 14, 5, 14, 14, 1, 14);
  frame($c, 1, 5, 14, 14, $EDGE);
  line($c, 1.5, 3.5, 6.5, 3.5, 0.5, $EDGE);
  line($c, 1.5, 3.5, 1.5, 5, 0.5, $EDGE);
  if ($open) {
    polygon($c, $front, 3, 8, 16, 8, 14, 15, 1, 15);
    line($c, 3, 8.5, 15.5, 8.5, 0.5, $EDGE);
    line($c, 1.5, 14.5, 14, 14.5, 0.5, $EDGE);
  }
}
small('closedfolder.bmp', sub { folder($_[0], 0, $YELLOW, $YELLOW) });
small('openfolder.bmp', sub { folder($_[0], 1, $YELLOW, $PALE_YELLOW) });
small('currentfolder.bmp', sub { folder($_[0], 1, $BLUE, $PALE) });

# ---- The program's icon: a blue box with an arrow going into it -------------------------

sub icon_shade {
  my ($x, $y, $s) = @_;
  my ($sum_r, $sum_g, $sum_b, $sum_a) = (0, 0, 0, 0);
  my $n = 4;  # 4 x 4 samples per pixel
  for my $sy (0 .. $n - 1) {
    for my $sx (0 .. $n - 1) {
      my $u = ($x + ($sx + 0.5) / $n) / $s;
      my $v = ($y + ($sy + 0.5) / $n) / $s;
      my @c;
      my $arrow = ($u > 0.42 && $u < 0.58 && $v > 0.06 && $v < 0.42)
        || ($v >= 0.36 && $v < 0.58 && abs($u - 0.5) < 0.22 - ($v - 0.36));
      if ($arrow) {
        @c = (255, 170, 30, 255);
      } elsif ($u > 0.12 && $u < 0.88 && $v > 0.48 && $v < 0.92) {
        my $edge = $u < 0.17 || $u > 0.83 || $v < 0.53 || $v > 0.87;
        @c = $edge ? (20, 40, 110, 255) : (60 + 60 * $v, 110 + 60 * $v, 220, 255);
      } else {
        @c = (0, 0, 0, 0);
      }
      $sum_r += $c[0] * $c[3];
      $sum_g += $c[1] * $c[3];
      $sum_b += $c[2] * $c[3];
      $sum_a += $c[3];
    }
  }
  return [ 0, 0, 0, 0 ] unless $sum_a;
  my $a = int($sum_a / ($n * $n) + 0.5);
  return [ map({ int($_ / $sum_a + 0.5) } $sum_r, $sum_g, $sum_b), $a ];
}

ico('setup.ico', map { [ $_, \&icon_shade ] } 16, 32, 48);
