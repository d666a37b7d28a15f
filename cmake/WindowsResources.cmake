# Windows programs carry the project's icon and version information: the icon
# is drawn from packaging/quorvel.svg at build time (rsvg-convert, icotool),
# the version resource is filled from the project's version. The installer
# takes the same icon (${CMAKE_BINARY_DIR}/quorvel.ico).
find_program(QUORVEL_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(QUORVEL_ICOTOOL icotool REQUIRED)
set(QUORVEL_COMPANY "Quorvel developers")
set(QUORVEL_ICON ${CMAKE_BINARY_DIR}/quorvel.ico)
set(svg ${PROJECT_SOURCE_DIR}/packaging/quorvel.svg)
set(draw_commands)
set(small_images)
foreach(size 16 24 32 48 64)
  list(APPEND draw_commands COMMAND ${QUORVEL_RSVG_CONVERT} -w ${size} -h ${size} -o icon-${size}.png ${svg})
  list(APPEND small_images icon-${size}.png)
endforeach()
# The 256-pixel image is stored as PNG, as Windows expects of that size.
add_custom_command(OUTPUT ${QUORVEL_ICON}
  ${draw_commands}
  COMMAND ${QUORVEL_RSVG_CONVERT} -w 256 -h 256 -o icon-256.png ${svg}
  COMMAND ${QUORVEL_ICOTOOL} -c -o ${QUORVEL_ICON} ${small_images} -r icon-256.png
  DEPENDS ${svg} WORKING_DIRECTORY ${CMAKE_BINARY_DIR} VERBATIM)
add_custom_target(quorvel_icon DEPENDS ${QUORVEL_ICON})

# Gives `target` the icon and a version resource describing it as `description`.
function(quorvel_windows_resources target description)
  set(QUORVEL_RC_TARGET ${target})
  set(QUORVEL_RC_DESCRIPTION ${description})
  string(REPLACE "." "," QUORVEL_RC_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${QUORVEL_ICON})
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} quorvel_icon)
endfunction()
