hold;;
