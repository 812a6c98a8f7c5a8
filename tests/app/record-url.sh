#!/bin/sh
# Stands in for the user's browser: notes each URL it is asked to open.
echo "$1" >> "${SORVANE_OPENED_URLS:-/dev/null}"
