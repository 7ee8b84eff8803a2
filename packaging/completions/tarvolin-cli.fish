# fish completion for tarvolin-cli: its options, the values of --mode, and folders for SOURCE and
# OUTPUT.
complete -c tarvolin-cli -f -a '(__fish_complete_directories)'
complete -c tarvolin-cli -l mode -x -a 'changed-only full-replacement' -d 'What the output folder receives'
complete -c tarvolin-cli -s r -l recursive -d 'Also every folder below SOURCE, mirrored into OUTPUT'
complete -c tarvolin-cli -s j -l jobs -x -d 'Work on N files at the same time'
complete -c tarvolin-cli -s q -l quiet -d 'Print only the problems and the summary'
complete -c tarvolin-cli -s n -l dry-run -d 'Print what the run would do and write nothing'
complete -c tarvolin-cli -l also -x -a avif -d 'Also save the same picture beside each JPEG in these formats'
complete -c tarvolin-cli -l skip-unchanged -d 'Leave alone files whose output still carries the record of this file'
complete -c tarvolin-cli -l json -d 'Print a JSON object per file and a summary'
complete -c tarvolin-cli -s h -l help -d 'Print the help and exit'
complete -c tarvolin-cli -s V -l version -d 'Print the version and exit'
