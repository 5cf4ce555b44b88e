#!/usr/bin/env bash
# Builds the Debian package and checks it: lintian finds no errors, the
# unpacked glimmer-cli cleans the sample page to the same bytes as the build
# tree's (build/, or GLIMMER_BUILD_DIR), the desktop entry, manual pages,
# icons and bash completion are sound.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
built_cli="${GLIMMER_BUILD_DIR:-build}/app/cli/glimmer-cli"
[ -x "$built_cli" ] || {
  echo "test-package.sh: $built_cli is missing; run scripts/build.sh first" >&2
  exit 1
}
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "test-package.sh: $*" >&2
  exit 1
}

package="$(scripts/package.sh "$scratch" | tail -n 1)"
version="$(sed -nE 's/^project\(Glimmer VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)"
[ "$(basename "$package")" = "glimmer_${version}_amd64.deb" ] || fail "unexpected package name $package"
depends="$(dpkg-deb -f "$package" Depends)"
echo "Depends: $depends"
for dependency in libjpeg-turbo-progs liblept libpoppler-cpp libqt6widgets6 libstdc++6; do
  [[ $depends == *"$dependency"* ]] || fail "Depends lacks $dependency"
done

echo "lintian:"
lintian --fail-on error --display-level '>=warning' "$package" || fail "lintian found errors"

unpacked="$scratch/root"
dpkg-deb -x "$package" "$unpacked"
usr="$unpacked/usr"
for file in bin/glimmer bin/glimmer-cli share/man/man1/glimmer.1.gz share/man/man1/glimmer-cli.1.gz \
  share/applications/glimmer.desktop share/icons/hicolor/scalable/apps/glimmer.svg \
  share/bash-completion/completions/glimmer-cli share/doc/glimmer/copyright share/doc/glimmer/changelog.gz; do
  [ -f "$usr/$file" ] || fail "the package lacks /usr/$file"
done
for size in 16 24 32 48 64 128 256; do
  file "$usr/share/icons/hicolor/${size}x${size}/apps/glimmer.png" | grep -q "PNG image data, $size x $size," ||
    fail "the ${size}x${size} icon is not a $size x $size PNG"
done

# The installed program gives the build tree's bytes, diagnostic files included.
[ "$("$usr/bin/glimmer-cli" --version)" = "glimmer-cli $version" ] || fail "glimmer-cli --version is not $version"
[ "$("$usr/bin/glimmer" --version)" = "glimmer $version" ] || fail "glimmer --version is not $version"
for tree in installed built; do
  mkdir "$scratch/$tree"
done
(cd "$scratch/installed" && "$usr/bin/glimmer-cli" -o page.bmp "$root/samples/sample-page.pnm")
(cd "$scratch/built" && "$root/$built_cli" -o page.bmp "$root/samples/sample-page.pnm")
for output in page.bmp skeleton.bmp scores.txt; do
  [ -s "$scratch/installed/$output" ] || fail "the installed glimmer-cli wrote no $output"
  cmp "$scratch/installed/$output" "$scratch/built/$output" || fail "$output differs from the build tree's"
done

desktop-file-validate "$usr/share/applications/glimmer.desktop" || fail "the desktop entry is not valid"

for page in glimmer glimmer-cli; do
  manual="$usr/share/man/man1/$page.1.gz"
  warnings="$(MANWIDTH=80 man --warnings -l "$manual" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "man warns about $page.1: $warnings"
  MANWIDTH=80 man -l "$manual" 2>/dev/null | grep -q "^NAME" || fail "$page.1 renders no NAME section"
done

completion="$usr/share/bash-completion/completions/glimmer-cli"
bash -n "$completion" || fail "the bash completion does not parse"
# Completes the words given, the last one being the word under the cursor.
complete_words() {
  bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    shift
    COMP_WORDS=(glimmer-cli "$@")
    COMP_CWORD=$#
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    _glimmer_cli glimmer-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$completion" "$@"
}
mkdir "$scratch/choices" "$scratch/choices/folder"
touch "$scratch/choices/file.pnm"
cd "$scratch/choices"
[ "$(complete_words --format '' | xargs)" = "bmp pdf png tif tiff" ] || fail "--format completes to something else"
[ "$(complete_words --format=p | xargs)" = "pdf png" ] || fail "--format=p completes to something else"
[ "$(complete_words --time | xargs)" = "--time-limit" ] || fail "--time does not complete to --time-limit"
[ "$(complete_words --diagnostics '' | xargs)" = "folder" ] || fail "--diagnostics offers more than folders"
[ "$(complete_words -o '' | xargs)" = "file.pnm folder" ] || fail "-o does not offer files"
[ "$(complete_words --jobs 2 '' | xargs)" = "file.pnm folder" ] || fail "inputs are not completed as files"
cd "$root"

for program in glimmer glimmer-cli; do
  zcat "$usr/share/man/man1/$program.1.gz" >"$scratch/$program.1"
done
packaging/tests/check-documented-options.sh "$usr/bin/glimmer-cli" "$scratch/glimmer-cli.1" "$completion"
packaging/tests/check-documented-options.sh "$usr/bin/glimmer" "$scratch/glimmer.1"
echo "test-package.sh: the package is sound"
