# Makes the home the tests run with (cmake -DHOME=folder -P testhome.cmake):
# the XDG folders, the runtime folder private to its owner as the XDG rules
# want it.
foreach(dir .config .cache/gstreamer-1.0 .local/share runtime)
  file(MAKE_DIRECTORY ${HOME}/${dir})
endforeach()
file(CHMOD ${HOME}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
