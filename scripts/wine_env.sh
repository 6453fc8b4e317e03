# Where the pinned Wine lives; sourced by the scripts that make it and run it.
FINDRAIL_WINE_ROOT=${FINDRAIL_WINE_ROOT:-/var/cache/findrail/wine10-trixie}
FINDRAIL_WINE_SUITE=trixie
FINDRAIL_WINE_MARKER=.findrail-wine-complete
# Inside the root: the folder that WINEDLLPATH names.
FINDRAIL_WINE_DLLPATH=/opt/findrail-wine-dlls
# The prefix template that each build folder's prefix is made from (scripts/wine_prefix.sh).
FINDRAIL_WINE_TEMPLATE=$FINDRAIL_WINE_ROOT.prefix
FINDRAIL_WINE_TEMPLATE_MARKER=.findrail-template
