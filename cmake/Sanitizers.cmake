# QUENLO_SANITIZE=address,undefined builds everything with ASan and UBSan (a leak fails the
# run); QUENLO_SANITIZE=thread with TSan. Any finding stops the program.
if(QUENLO_SANITIZE)
  add_compile_options(-fsanitize=${QUENLO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${QUENLO_SANITIZE})
endif()
