# Run by CPack once every file of the package is in place: writes SHA256SUMS
# at the package's top, one line per file in the form of sha256sum
# ("<hash>  <path>"), so that `sha256sum -c SHA256SUMS` checks an unpacked copy.
set(top ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${top} ${top}/*)
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
set(lines "")
foreach(file IN LISTS files)
  file(SHA256 ${top}/${file} hash)
  string(APPEND lines "${hash}  ${file}\n")
endforeach()
file(WRITE ${top}/SHA256SUMS "${lines}")
