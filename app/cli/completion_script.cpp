#include "app/cli/completion_script.h"

#include "app/cli/convert_options.h"
#include "engine/conversion_settings.h"

namespace velmora::cli {
namespace {

constexpr const char* kCommands =
    "probe decode convert suggest-segment settings formats completion";
constexpr const char* kDecoders = "wav aiff au bass ffmpeg ogg wma";

std::string settingNames() {
    std::string names;
    for (const auto& value : ConversionSettings(std::string()).listValues())
        names += (names.empty() ? "" : " ") + value.name;
    return names;
}

std::string convertWords() {
    std::string words;
    for (const CliOption& option : ConvertOptions::table()) {
        words += (words.empty() ? "" : " ") + std::string(option.longName);
        if (!option.shortName.empty())
            words += " " + std::string(option.shortName);
    }
    return words;
}

std::string bashValueCases() {
    std::string cases;
    for (const CliOption& option : ConvertOptions::table()) {
        if (option.valueName.empty())
            continue;
        std::string pattern(option.longName);
        if (!option.shortName.empty())
            pattern += "|" + std::string(option.shortName);
        std::string action;
        if (option.valueName == "DIR")
            action = "COMPREPLY=($(compgen -d -- \"$cur\"))";
        else if (!option.choices.empty())
            action =
                "COMPREPLY=($(compgen -W \"" + std::string(option.choices) + "\" -- \"$cur\"))";
        else
            action = "COMPREPLY=()";
        cases += "            " + pattern + ") " + action + "; return ;;\n";
    }
    return cases;
}

// Text inside single quotes and the brackets of a zsh option description.
std::string zshText(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\'')
            out += "'\\''";
        else if (c == '[' || c == ']' || c == ':')
            out += c == ':' ? ',' : ' ';
        else
            out += c;
    }
    return out;
}

std::string zshConvertSpecs() {
    std::string specs;
    for (const CliOption& option : ConvertOptions::table()) {
        const bool repeats = option.longName == "--set";
        std::string value;
        if (!option.valueName.empty()) {
            value = ":" + std::string(option.valueName) + ":";
            if (option.valueName == "DIR")
                value += "_files -/";
            else if (!option.choices.empty())
                value += "(" + std::string(option.choices) + ")";
            else
                value += " ";
        }
        // The value part keeps its colons: they separate message and action.
        const std::string description = "[" + zshText(option.help) + "]" + value;
        if (option.shortName.empty()) {
            specs += std::string("        '") + (repeats ? "*" : "") +
                     std::string(option.longName) + description + "' \\\n";
        } else {
            specs += "        '(" + std::string(option.shortName) + " " +
                     std::string(option.longName) + ")'{" + std::string(option.shortName) + "," +
                     std::string(option.longName) + "}'" + description + "' \\\n";
        }
    }
    return specs;
}

} // namespace

std::string CompletionScript::bash() {
    return "# bash completion for velmora-cli (made by: velmora-cli completion bash)\n"
           "_velmora_cli() {\n"
           "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
           "    if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
           "        COMPREPLY=($(compgen -W \"" +
           std::string(kCommands) +
           " --help --version\" -- \"$cur\")); return\n"
           "    fi\n"
           "    case \"${COMP_WORDS[1]}\" in\n"
           "    convert)\n"
           "        case \"$prev\" in\n" +
           bashValueCases() +
           "        esac\n"
           "        if [[ \"$cur\" == -* ]]; then\n"
           "            COMPREPLY=($(compgen -W \"" +
           convertWords() +
           "\" -- \"$cur\"))\n"
           "        else\n"
           "            COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "        fi ;;\n"
           "    probe)\n"
           "        if [[ \"$cur\" == -* ]]; then COMPREPLY=($(compgen -W \"--json\" -- "
           "\"$cur\"));\n"
           "        else COMPREPLY=($(compgen -f -- \"$cur\")); fi ;;\n"
           "    decode)\n"
           "        case \"$prev\" in\n"
           "            --decoder) COMPREPLY=($(compgen -W \"" +
           std::string(kDecoders) +
           "\" -- \"$cur\")); return ;;\n"
           "            --render-rate) COMPREPLY=(); return ;;\n"
           "        esac\n"
           "        if [[ \"$cur\" == -* ]]; then\n"
           "            COMPREPLY=($(compgen -W \"--render-rate --decoder -o\" -- \"$cur\"))\n"
           "        else COMPREPLY=($(compgen -f -- \"$cur\")); fi ;;\n"
           "    settings)\n"
           "        if [ \"$COMP_CWORD\" -eq 2 ]; then\n"
           "            COMPREPLY=($(compgen -W \"list get set reset path\" -- \"$cur\"))\n"
           "        elif [ \"$COMP_CWORD\" -eq 3 ] && [[ \"$prev\" =~ ^(get|set|reset)$ ]]; then\n"
           "            COMPREPLY=($(compgen -W \"" +
           settingNames() +
           "\" -- \"$cur\"))\n"
           "        fi ;;\n"
           "    suggest-segment)\n"
           "        case \"$prev\" in --length) COMPREPLY=(); return ;; esac\n"
           "        if [[ \"$cur\" == -* ]]; then\n"
           "            COMPREPLY=($(compgen -W \"--length --json\" -- \"$cur\"))\n"
           "        else COMPREPLY=($(compgen -f -- \"$cur\")); fi ;;\n"
           "    formats) COMPREPLY=($(compgen -W \"--json\" -- \"$cur\")) ;;\n"
           "    completion) COMPREPLY=($(compgen -W \"bash zsh\" -- \"$cur\")) ;;\n"
           "    esac\n"
           "}\n"
           "complete -o filenames -F _velmora_cli velmora-cli\n";
}

std::string CompletionScript::zsh() {
    return "#compdef velmora-cli\n"
           "# zsh completion for velmora-cli (made by: velmora-cli completion zsh)\n"
           "_velmora_cli() {\n"
           "    if (( CURRENT == 2 )); then\n"
           "        compadd -- " +
           std::string(kCommands) +
           " --help --version\n"
           "        return\n"
           "    fi\n"
           "    local command=$words[2]\n"
           "    shift words; (( CURRENT-- ))\n"
           "    case $command in\n"
           "    convert)\n"
           "        _arguments -s \\\n" +
           zshConvertSpecs() +
           "        '*:file or folder:_files' ;;\n"
           "    probe) _arguments '--json[one JSON object per file]' '*:file or folder:_files' ;;\n"
           "    decode)\n"
           "        _arguments '--render-rate[render rate in Hz]:HZ: ' \\\n"
           "            '--decoder[open with this decoder only]:NAME:(" +
           std::string(kDecoders) +
           ")' \\\n"
           "            '-o[raw PCM output]:OUT.raw:_files' ':file:_files' ;;\n"
           "    settings)\n"
           "        if (( CURRENT == 2 )); then compadd -- list get set reset path\n"
           "        elif (( CURRENT == 3 )); then compadd -- " +
           settingNames() +
           "\n"
           "        fi ;;\n"
           "    suggest-segment)\n"
           "        _arguments '--length[length of the part, seconds or m,ss]:TIME: ' \\\n"
           "            '--json[start and length as a JSON object]' ':file:_files' ;;\n"
           "    formats) compadd -- --json ;;\n"
           "    completion) compadd -- bash zsh ;;\n"
           "    esac\n"
           "}\n"
           "_velmora_cli \"$@\"\n";
}

} // namespace velmora::cli
