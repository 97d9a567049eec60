# Debian's build flags (dpkg-buildflags) for everything built here, so that the
# packaged program, its window library and the sim driver are hardened as a
# Debian package would be: stack protector, format checks, full RELRO with
# immediate binding, and fortified libc calls. Fortifying needs the optimizer,
# so it is left out of Debug builds (glibc warns, and warnings are errors) and
# out of sanitizer builds (their own checks replace it).
option(QTU_HARDEN "Build with Debian's hardening flags" ON)

# Log lines and assertions name source files from the top of the tree, not by
# the absolute path of the machine that built them.
add_compile_options(-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=)

if(QTU_HARDEN)
  add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
  if(NOT QTU_SANITIZE AND NOT QTU_TSAN)
    add_compile_options($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE>
                        $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>)
  endif()
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
