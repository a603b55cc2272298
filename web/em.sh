#!/usr/bin/env bash
# The environment Debian's emscripten needs here, then the command: web/em.sh FOLDER COMMAND [ARGS...]
# (sourced with only FOLDER, it sets the environment in the calling shell).
#
# The packaged cache is frozen (nothing may be built into it), and an empty EM_CACHE fails under a frozen
# cache, while the packaged one takes a lock file in /usr/share, which only root may write. A private cache
# in FOLDER is the packaged one's libraries linked in, with a lock of its own. The compiler's JavaScript
# tools look for their modules (acorn, terser, ...) where Debian puts them, which a node from elsewhere
# (nodesource's, say) does not search.
_em_folder=${1:?usage: web/em.sh FOLDER COMMAND [ARGS...]}
if [ ! -d "$_em_folder/emcache" ]; then
    mkdir -p "$_em_folder"
    rm -rf "$_em_folder/emcache.tmp" && mkdir "$_em_folder/emcache.tmp"
    for _em_entry in /usr/share/emscripten/cache/*; do
        [ "$(basename "$_em_entry")" = cache.lock ] || ln -s "$_em_entry" "$_em_folder/emcache.tmp/"
    done
    mv "$_em_folder/emcache.tmp" "$_em_folder/emcache"
fi
export EM_CACHE=$(cd "$_em_folder/emcache" && pwd)
case ":${NODE_PATH:-}:" in *:/usr/share/nodejs:*) ;; *) export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH} ;; esac
unset _em_folder _em_entry
if [ $# -gt 1 ]; then
    shift
    exec "$@"
fi
