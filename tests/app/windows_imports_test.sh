#!/usr/bin/env bash
# Checks the PE files of the Windows build: they import only DLLs that every Windows has (so
# nothing of MinGW, libstdc++, libgcc, winpthread or zlib must be shipped beside them), and
# ZIPENGINE.DLL exports exactly its two entry points under their plain names.
#   windows_imports_test.sh OBJDUMP FILE.exe|FILE.dll...
set -uo pipefail
objdump=$1
shift
fails=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; fails=$((fails + 1)); fi
}
# Windows' own DLLs that the program may use; msvcrt.dll has been part of Windows since 2000.
allowed='^(KERNEL32|USER32|SHELL32|ADVAPI32|GDI32|COMCTL32|COMDLG32|OLE32|OLEAUT32|SHLWAPI|msvcrt)\.dll$'
for file in "$@"; do
  name=$(basename "$file")
  imports=$("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
  echo "$name imports: $(echo $imports)"
  check "$name imports something" test -n "$imports"
  check "$name imports only Windows' own DLLs" test -z "$(grep -viE "$allowed" <<<"$imports")"
  if [[ "${name^^}" == ZIPENGINE.DLL ]]; then
    exports=$("$objdump" -p "$file" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
    echo "$name exports: $exports"
    check "$name exports exactly GetZipEngineVersion and ZipEngineExec" test "$exports" = "GetZipEngineVersion ZipEngineExec "
  fi
done
exit $((fails > 0))
