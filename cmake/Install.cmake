# make install: tools/install-layout puts the daemon and its client with the commands that run them,
# the engine module, the demo bases, the configuration, its folders, the man pages, the logrotate
# file and the systemd unit in place, and lists what it created for make uninstall. PREFIX
# (cmake --install --prefix) and DESTDIR are taken at install time; TARVO_USER in the environment
# names the account of a new configuration (default: tarvo).
set(TARVO_CONFIG_DIR /etc/tarvo CACHE PATH "Folder of tarvo32.ini, the daemon's default configuration")
install(CODE "
  execute_process(COMMAND sh \"${PROJECT_SOURCE_DIR}/tools/install-layout\" install
      --prefix \"\${CMAKE_INSTALL_PREFIX}\" --confdir \"${TARVO_CONFIG_DIR}\"
      --source-ini \"${PROJECT_SOURCE_DIR}/etc/tarvo32.ini\"
      --program \"$<TARGET_FILE:tarvod>\" --client \"$<TARGET_FILE:tarvo-scan>\"
      --probe \"$<TARGET_FILE:tarvo-i386-probe>\" --engine \"${TARVO_ENGINE_DLL}\"
      --base \"${TARVO_DEMO_BASE_VDB}\" --base \"${TARVO_DAILY_BASE_VDB}\"
      --user \"\$ENV{TARVO_USER}\" --emulator \"${TARVO_EMULATOR}\"
    COMMAND_ERROR_IS_FATAL ANY)
")
