# Writes the service worker with its cache named after the content of the
# page's files, so that each build that changes one gets a cache of its own:
#   cmake -D IN=service-worker.js.in -D OUT=service-worker.js -D FILES="a;b" -P fill_worker.cmake
set(content "")
foreach(f IN LISTS FILES)
  file(SHA256 ${f} hash)
  string(APPEND content "${hash}")
endforeach()
string(SHA256 content "${content}")
string(SUBSTRING "${content}" 0 16 VORMO_CONTENT)
configure_file(${IN} ${OUT} @ONLY)
