# bash completion for marrowvale                               -*- shell-script -*-
# Installed as share/bash-completion/completions/marrowvale; it needs nothing
# from the bash-completion package, so it can also be sourced by hand.

_marrowvale() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]:-}
    # Bash splits "--filter=1" at "=": the option is then the word before it.
    if [[ $cur == "=" ]]; then
        cur=""
    elif [[ $prev == "=" ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi

    local values=""
    case $prev in
    -t | --dither_type) values="0 1 2" ;;
    -d | --dither_bits) values="0 1 2" ;;
    -n | --noise_shaping) values="0 1 2 3" ;;
    -c | --container_bits) values="8 16 24 32" ;;
    --filter) values="0 1" ;;
    -o | --output_folder | --input-root)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        return
        ;;
    -i | --input_file | --files-from | --report)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
        ;;
    -s | --new_sampling_rate | -b | --new_bit_depth | -j | --jobs | --shard)
        # a number of the user's choosing
        COMPREPLY=()
        return
        ;;
    esac
    if [[ -n $values ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$values" -- "$cur")
        return
    fi

    if [[ $cur == -* ]]; then
        local options="-h --help --version -i --input_file -s --new_sampling_rate
            -b --new_bit_depth -c --container_bits -t --dither_type -d --dither_bits
            -n --noise_shaping -o --output_folder --float --filter --strip-metadata
            -j --jobs -q --quiet --files-from --shard --input-root --skip-existing --report"
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    # Inputs: wave files and the folders that may hold them.
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
}
complete -F _marrowvale marrowvale
