#!/bin/sh
# lineecho written the usual way in the shell.
printf '\r\nEnter some characters.\r\n'
IFS= read -r line
printf '%s\n' "$line"
