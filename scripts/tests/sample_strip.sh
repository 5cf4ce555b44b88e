# shellcheck shell=bash
# Sourced by the batch tests. sample_strip SAMPLE TOP FILE writes rows TOP to TOP+149
# of the sample page (binary PGM, 1200 wide, 16-byte header) to FILE: a small page
# that still holds lines of text.
sample_strip() {
  { printf 'P5\n1200 150\n255\n'; dd if="$1" iflag=skip_bytes,count_bytes skip=$((16 + 1200 * $2)) \
    count=$((1200 * 150)) status=none; } >"$3"
}
