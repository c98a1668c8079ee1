#!/bin/sh
# A job is still a 3MF that slicers open: PrusaSlicer's command line reads the insole of a job
# that tarsola-batch wrote, its foot and recipe beside the model, as one manifold part of the
# job's width and length.
#   slicer_reads_job.sh TARSOLA_BATCH FOOT
set -eu
batch=$1
foot=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$batch" "$foot" --width 90 --length 250 --3mf "$dir/job.3mf" >/dev/null
unzip -l "$dir/job.3mf" | grep -q 'Tarsola/recipe.json' || { echo "the job has no recipe"; exit 1; }
# Its log goes to standard error; the figures to standard output.
info=$(prusa-slicer --info "$dir/job.3mf" 2>/dev/null)
printf '%s\n' "$info"
for expected in 'size_x = 90.000000' 'size_y = 250.000000' 'manifold = yes' 'number_of_parts =  1'; do
    printf '%s\n' "$info" | grep -qF "$expected" || { echo "missing: $expected"; exit 1; }
done
