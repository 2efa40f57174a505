#!/bin/sh
# varnika-cli as help2man reads it: its --help without the closing lines, which name the settings folder
# of the machine the page is made on, and its --version without the lines naming this build's libraries.
# The program to run is $VARNIKA_CLI.
set -eu
case "${1:-}" in
--help) "$VARNIKA_CLI" --help | sed '/^Settings folder in use:/,$d' ;;
--version) "$VARNIKA_CLI" --version | sed -n 1p ;;
*) exec "$VARNIKA_CLI" "$@" ;;
esac
