# fish completion for quadrell: every option and its value (numbers after
# -j and --jobs, files after --journal and --undo, folder names after
# --exclude, patterns after --include), then folders and files named .jpg
# or .jpeg.
function __quadrell_paths --description 'Folders, and files named .jpg or .jpeg in any case'
    set -l token (commandline -ct | string unescape | string replace -r '^~(?=/|$)' ~)
    for path in $token*
        if test -d $path
            printf '%s/\n' $path
        else if string match -qri '\.jpe?g$' -- $path
            printf '%s\n' $path
        end
    end
end

complete -c quadrell -f -a '(__quadrell_paths)'
complete -c quadrell -s h -l help -d 'Show the help'
complete -c quadrell -s V -l version -d 'Show the version'
complete -c quadrell -s p -l keep-dates -d 'Give each changed file its time stamps back'
complete -c quadrell -s n -l dry-run -d 'Report what would change and change nothing'
complete -c quadrell -s r -l recursive -d 'Process subfolders too'
complete -c quadrell -s q -l quiet -d 'Show only changed files and access errors'
complete -c quadrell -s j -l jobs -x -a '1 2 4 8 16 32 64 128 256' -d 'Read up to N files ahead'
complete -c quadrell -l check -d 'Change nothing; exit with 3 when a file would change'
complete -c quadrell -l json -d 'Write JSON Lines in place of the log'
complete -c quadrell -l exclude -x -a '(__fish_complete_directories)' -d 'Pass over names matching PATTERN'
complete -c quadrell -l include -x -a "'*.jfif' '*.jpe'" -d 'Process names matching PATTERN too'
complete -c quadrell -l progress -d 'Show a status line on standard error'
complete -c quadrell -l no-progress -d 'Show no status line'
complete -c quadrell -l journal -r -F -d 'Record each change in FILE'
complete -c quadrell -l undo -r -F -d 'Take back the changes recorded in FILE'
