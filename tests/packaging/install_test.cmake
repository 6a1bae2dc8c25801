# Installs the build tree BUILD_DIR into PREFIX, checks that every file is where the desktop and the
# program look for it, and runs the installed k3gap-cli on a fresh data folder.
# cmake -DBUILD_DIR=... -DPREFIX=... -P install_test.cmake
cmake_minimum_required(VERSION 3.25)

function(fail message)
  message(FATAL_ERROR "install test: ${message}")
endfunction()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  fail("cmake --install failed: ${err}")
endif()

set(expected bin/k3gap bin/k3gap-cli share/applications/k3gap.desktop
  share/icons/hicolor/scalable/apps/k3gap.svg share/k3gap/docs/index.html share/k3gap/docs/manual.html
  share/k3gap/docs/walkthrough.html)
foreach(size 16 22 24 32 48 64 128 256)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/k3gap.png)
endforeach()
foreach(f IN LISTS expected)
  if(NOT EXISTS ${PREFIX}/${f})
    fail("${f} not installed")
  endif()
endforeach()
foreach(program k3gap k3gap-cli)
  if(NOT IS_DIRECTORY ${PREFIX}/bin OR NOT EXISTS ${PREFIX}/bin/${program})
    fail("${program} missing")
  endif()
  file(READ ${PREFIX}/bin/${program} head LIMIT 4 HEX)
  if(NOT head STREQUAL "7f454c46")
    fail("${program} is not a program")
  endif()
endforeach()

# Every picture a help page shows is installed with it.
file(GLOB pages ${PREFIX}/share/k3gap/docs/*.html)
foreach(page IN LISTS pages)
  file(READ ${page} html)
  string(REGEX MATCHALL "src=\"[^\":]+\"" sources "${html}")
  foreach(src IN LISTS sources)
    string(REGEX REPLACE "src=\"([^\"]+)\"" "\\1" image "${src}")
    if(NOT EXISTS ${PREFIX}/share/k3gap/docs/${image})
      fail("${page} shows ${image}, which is not installed")
    endif()
  endforeach()
endforeach()

# The menu entry starts the installed program under its name, with the installed icon.
file(STRINGS ${PREFIX}/share/applications/k3gap.desktop entry ENCODING UTF-8)
foreach(line "Name=快3遗漏分析" "Exec=k3gap" "Icon=k3gap" "Type=Application" "Terminal=false")
  if(NOT line IN_LIST entry)
    fail("the desktop entry lacks ${line}")
  endif()
endforeach()
list(FILTER entry INCLUDE REGEX "^Categories=.*Office;")
if(NOT entry)
  fail("the desktop entry is not in the Office category")
endif()

# The installed command line works on its own: help, then a draw added to a new history and shown.
set(data ${PREFIX}/data)
file(MAKE_DIRECTORY ${data} ${PREFIX}/config)
set(cli ${CMAKE_COMMAND} -E env XDG_CONFIG_HOME=${PREFIX}/config ${PREFIX}/bin/k3gap-cli)
execute_process(COMMAND ${cli} --help RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "usage: k3gap-cli")
  fail("k3gap-cli --help: status ${rc}, ${out}")
endif()
execute_process(COMMAND ${cli} --data ${data} --lottery 0 add 130325001 253 RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  fail("k3gap-cli add: status ${rc}, ${err}")
endif()
execute_process(COMMAND ${cli} --data ${data} --lottery 0 show RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "130325001")
  fail("k3gap-cli show: status ${rc}, ${out}")
endif()
file(REMOVE_RECURSE ${PREFIX})
