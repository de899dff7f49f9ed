# Copies the editor page into the bundle and writes its manifest, which the
# plug-in reads for the "ui" member of its identity block:
#   {"format":"orbel-ui-manifest/v1","buildTime":…,"sourceRevision":…,
#    "sha256":…,"files":{"index.html":…,…}}
# "sha256" is the SHA-256 of the listing "<file sha256>  <path>\n" of every
# page file in path order (what `sha256sum` prints for them, sorted), so one
# digest names the whole page. The manifest is rewritten only when that
# digest or the source revision changed; "buildTime" is when that happened.
#
#   cmake -DUI_SOURCE=dir -DUI_DEST=dir -DSOURCE_ROOT=dir [-DSOURCE_REVISION=text] -P ui_bundle.cmake
cmake_minimum_required(VERSION 3.25)

file(GLOB_RECURSE files RELATIVE ${UI_SOURCE} ${UI_SOURCE}/*)
# Build files and hidden files are not part of the page.
list(FILTER files EXCLUDE REGEX "(^|/)\\.|^CMakeLists\\.txt$|^manifest\\.json$")
list(SORT files)

# Files that left the page leave the bundle too.
if(EXISTS ${UI_DEST})
  file(GLOB_RECURSE shipped RELATIVE ${UI_DEST} ${UI_DEST}/*)
  foreach(f IN LISTS shipped)
    if(NOT f IN_LIST files AND NOT f STREQUAL "manifest.json")
      file(REMOVE ${UI_DEST}/${f})
    endif()
  endforeach()
endif()

set(listing "")
set(members "")
foreach(f IN LISTS files)
  file(SHA256 ${UI_SOURCE}/${f} digest)
  string(APPEND listing "${digest}  ${f}\n")
  string(REPLACE "\\" "\\\\" name "${f}")
  string(REPLACE "\"" "\\\"" name "${name}")
  if(members)
    string(APPEND members ",")
  endif()
  string(APPEND members "\"${name}\":\"${digest}\"")
  get_filename_component(dir ${UI_DEST}/${f} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  file(COPY_FILE ${UI_SOURCE}/${f} ${UI_DEST}/${f} ONLY_IF_DIFFERENT)
endforeach()
string(SHA256 page_digest "${listing}")

# The source revision: given, or the checkout's commit ("-dirty" with local
# changes), or "unknown" outside a git checkout.
if(SOURCE_REVISION)
  set(revision "${SOURCE_REVISION}")
else()
  set(revision "unknown")
  find_program(GIT git)
  if(GIT)
    execute_process(COMMAND ${GIT} -C ${SOURCE_ROOT} rev-parse HEAD
      OUTPUT_VARIABLE head RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT failed AND head)
      set(revision "${head}")
      execute_process(COMMAND ${GIT} -C ${SOURCE_ROOT} status --porcelain --untracked-files=no
        OUTPUT_VARIABLE changes ERROR_QUIET)
      if(changes)
        string(APPEND revision "-dirty")
      endif()
    endif()
  endif()
endif()
# The plug-in keeps at most 62 characters of it.
string(SUBSTRING "${revision}" 0 62 revision)
string(REPLACE "\\" "/" revision "${revision}")
string(REPLACE "\"" "'" revision "${revision}")

set(manifest ${UI_DEST}/manifest.json)
if(EXISTS ${manifest})
  file(READ ${manifest} old)
  if(old MATCHES "\"sha256\":\"${page_digest}\"" AND old MATCHES "\"sourceRevision\":\"([^\"]*)\"" AND CMAKE_MATCH_1 STREQUAL revision)
    return()
  endif()
endif()
string(TIMESTAMP now "%Y-%m-%dT%H:%M:%SZ" UTC)
file(WRITE ${manifest}
  "{\"format\":\"orbel-ui-manifest/v1\",\"buildTime\":\"${now}\",\"sourceRevision\":\"${revision}\","
  "\"sha256\":\"${page_digest}\",\"files\":{${members}}}\n")
