# Sourced by the Windows build scripts: puts the posix-thread mingw-w64 compilers first on PATH
# under their plain names, for build systems that only take a prefix (Qt's configure).
varko5_mingw_bin=${VARKO5_WIN_WORK:-$HOME/.cache/varko5/work}/mingw-bin
mkdir -p "$varko5_mingw_bin"
for varko5_tool in gcc g++ c++; do
    ln -sf "/usr/bin/x86_64-w64-mingw32-$varko5_tool-posix" "$varko5_mingw_bin/x86_64-w64-mingw32-$varko5_tool"
done
ln -sf /usr/bin/x86_64-w64-mingw32-g++-posix "$varko5_mingw_bin/x86_64-w64-mingw32-c++"
export PATH=$varko5_mingw_bin:$PATH
unset varko5_tool
