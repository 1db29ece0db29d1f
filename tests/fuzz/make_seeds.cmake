# Seeds for the fuzz targets, made from the sample scripts with the packer:
# readable sources, their stored form, and an executable carrying each; the
# registration decoder's seeds are kept as files (and serve makerd's intake too).
#   cmake -DFFSPACK=... -DSAMPLES=... -DREGDECODE_SEEDS=... -DOUT=... -P make_seeds.cmake
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}/source_fuzz" "${OUT}/script_fuzz" "${OUT}/archive_reader_fuzz")
file(WRITE "${OUT}/stub.exe" "MZ a tiny stand-in for the program image\n")
file(GLOB samples "${SAMPLES}/*.txt")
foreach(sample ${samples})
  get_filename_component(name "${sample}" NAME_WE)
  file(COPY "${sample}" DESTINATION "${OUT}/source_fuzz")
  execute_process(COMMAND "${FFSPACK}" compile "${sample}" -o "${OUT}/script_fuzz/${name}.dat"
                  COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND "${FFSPACK}" pack --stub "${OUT}/stub.exe" --script "${sample}"
                          -o "${OUT}/archive_reader_fuzz/${name}.exe"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(REMOVE "${OUT}/stub.exe")
file(COPY "${REGDECODE_SEEDS}/" DESTINATION "${OUT}/regdecode_fuzz")
file(COPY "${REGDECODE_SEEDS}/" DESTINATION "${OUT}/makerd_fuzz")
