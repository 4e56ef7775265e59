# The daily update base of the demo: loaded after the demo base's records,
# with the daily flag clear so that a reload treats it like any other base.
base title="Tarvo daily demo base" kind=1 stamp=101 key3=1 key3b=0 flag=0 key4=0 daily=0

infected      Tarvo.Test.Daily           file  0  incurable  text:TARVO-TEST-DAILY
