# The compression libraries beside zlib, compiled from Debian's sources
# (scripts/setup puts them in third_party/), for whichever toolchain includes
# this: the installer takes the Zstandard decoder alone; the packers take the
# whole of Zstandard and libdeflate's compressor (standard deflate, smaller
# than zlib's; the installer's inflate reads it).
#   zstd_decoder, zstd_codec, deflate_compressor
function(varnel_compression_libraries third)
  set(z ${third}/zstd)
  set(common ${z}/common/entropy_common.c ${z}/common/error_private.c ${z}/common/fse_decompress.c
             ${z}/common/zstd_common.c ${z}/common/xxhash.c ${z}/common/debug.c)
  file(GLOB decompress ${z}/decompress/*.c)
  file(GLOB compress ${z}/compress/*.c)
  # No assembly (its one file is for ELF) and no threads of its own: the
  # packers run one encoder per core themselves.
  set(defines ZSTD_DISABLE_ASM=1 ZSTD_LEGACY_SUPPORT=0 ZSTD_NO_TRACE=1)

  add_library(zstd_decoder STATIC ${common} ${decompress})
  target_include_directories(zstd_decoder PUBLIC ${z})
  target_compile_definitions(zstd_decoder PRIVATE ${defines}
    # The smaller of the decoder's two Huffman and sequence paths: the
    # installer ships it, and inflating from memory is not its slow part.
    HUF_FORCE_DECOMPRESS_X1=1 ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT=1)
  target_compile_options(zstd_decoder PRIVATE -w -O2)

  add_library(zstd_codec STATIC ${common} ${decompress} ${compress} ${z}/common/pool.c ${z}/common/threading.c)
  target_include_directories(zstd_codec PUBLIC ${z})
  target_compile_definitions(zstd_codec PRIVATE ${defines})
  target_compile_options(zstd_codec PRIVATE -w -O2)

  set(d ${third}/libdeflate)
  add_library(deflate_compressor STATIC ${d}/lib/deflate_compress.c ${d}/lib/utils.c ${d}/lib/x86/cpu_features.c)
  target_include_directories(deflate_compressor PUBLIC ${d})
  target_compile_options(deflate_compressor PRIVATE -w -O2)
endfunction()
