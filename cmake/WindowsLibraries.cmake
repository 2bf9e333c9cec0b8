# Libraries the 64-bit Windows worker links, cross-built once per build tree from Debian's own
# source packages (tools/debian-source.sh), each given as the imported target its native
# counterpart has: OpenSSL::Crypto (libcrypto only) and pugixml::pugixml.
include(ExternalProject)
include(ProcessorCount)

ProcessorCount(build_jobs)
if(build_jobs EQUAL 0)
  set(build_jobs 1)
endif()
set(windows_libraries_dir ${CMAKE_BINARY_DIR}/windows-libraries)
set(debian_source ${PROJECT_SOURCE_DIR}/tools/debian-source.sh)

# libcrypto with what AES-256-CBC through EVP needs: no libssl, no modules or engines (so no
# DLL is ever loaded), no configuration file read, and no other algorithm families.
set(openssl_options
  no-shared no-tests no-asm no-module no-dso no-engine no-async no-sock no-autoload-config
  no-legacy no-deprecated no-ui-console no-filenames no-err
  no-ssl no-tls no-dtls no-srp no-psk no-ct no-ocsp no-cms no-ts no-comp no-rfc3779 no-srtp
  no-ec no-dh no-dsa no-sm2 no-gost no-cmac no-scrypt no-siphash no-blake2 no-md4 no-mdc2
  no-whirlpool no-sm3 no-idea no-camellia no-cast no-des no-rc2 no-rc4 no-rc5 no-seed no-sm4
  no-bf no-aria no-ocb no-chacha no-poly1305)
set(openssl_dir ${windows_libraries_dir}/openssl)
ExternalProject_Add(openssl_windows
  PREFIX ${openssl_dir}
  SOURCE_DIR ${openssl_dir}/source
  BINARY_DIR ${openssl_dir}/build
  DOWNLOAD_COMMAND ${debian_source} openssl ${openssl_dir}
  CONFIGURE_COMMAND perl <SOURCE_DIR>/Configure mingw64 --cross-compile-prefix=${mingw_triplet}-
                    ${openssl_options}
  BUILD_COMMAND make -j${build_jobs} build_generated
        COMMAND make -j${build_jobs} libcrypto.a
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${openssl_dir}/build/libcrypto.a
  LOG_CONFIGURE ON LOG_BUILD ON LOG_OUTPUT_ON_FAILURE ON)

# The public headers, and those Configure writes (opensslv.h, configuration.h).
file(MAKE_DIRECTORY ${openssl_dir}/source/include ${openssl_dir}/build/include)
add_library(OpenSSL::Crypto STATIC IMPORTED GLOBAL)
set_target_properties(OpenSSL::Crypto PROPERTIES
  IMPORTED_LOCATION ${openssl_dir}/build/libcrypto.a
  INTERFACE_INCLUDE_DIRECTORIES "${openssl_dir}/build/include;${openssl_dir}/source/include"
  INTERFACE_LINK_LIBRARIES "bcrypt;ws2_32;crypt32")
add_dependencies(OpenSSL::Crypto openssl_windows)

set(pugixml_dir ${windows_libraries_dir}/pugixml)
ExternalProject_Add(pugixml_windows
  PREFIX ${pugixml_dir}
  SOURCE_DIR ${pugixml_dir}/source
  BINARY_DIR ${pugixml_dir}/build
  INSTALL_DIR ${pugixml_dir}/install
  DOWNLOAD_COMMAND ${debian_source} pugixml ${pugixml_dir}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release
             -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR> -DCMAKE_INSTALL_LIBDIR=lib
             -DBUILD_SHARED_LIBS=OFF -DPUGIXML_BUILD_TESTS=OFF
  BUILD_BYPRODUCTS ${pugixml_dir}/install/lib/libpugixml.a
  LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON)

file(MAKE_DIRECTORY ${pugixml_dir}/install/include)
add_library(pugixml::pugixml STATIC IMPORTED GLOBAL)
set_target_properties(pugixml::pugixml PROPERTIES
  IMPORTED_LOCATION ${pugixml_dir}/install/lib/libpugixml.a
  INTERFACE_INCLUDE_DIRECTORIES ${pugixml_dir}/install/include)
add_dependencies(pugixml::pugixml pugixml_windows)
