# Writes OUT: a header defining QUORVEL_COMMIT, the commit the sources come
# from ("-dirty" when they differ from it; "unknown" outside a git checkout).
# Run at every build; the file is rewritten only when the text changes, so
# only its includer is compiled again.
execute_process(COMMAND git describe --always --dirty --abbrev=12
                WORKING_DIRECTORY "${SOURCE_DIR}" OUTPUT_VARIABLE commit ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
if(commit STREQUAL "")
  set(commit "unknown")
endif()
set(text "#define QUORVEL_COMMIT \"${commit}\"\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUT}" "${text}")
endif()
